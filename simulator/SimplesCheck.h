// The simulator's verdict on a Simples Nacional extract or receipt. The
// checks are deliberately simple and documented in README.md:
//   1. the file does not start with "%PDF-"              -> "ARQUIVO INVALIDO - EXTRATO"
//   2. the file lacks the marker text "PGDAS"            -> "ARQUIVO INVALIDO - RECIBO"
//   3. the file does not end with its only "%%EOF"
//      (optionally followed by one line break)           -> "ARQUIVO INVALIDO - MODIFICADO"
// The first failing check decides.
#pragma once

#include <string>
#include <string_view>

namespace valdoria {

// The marker text for a refused file, or the empty text for an accepted one.
std::string simplesVerdict(std::string_view file);

} // namespace valdoria
