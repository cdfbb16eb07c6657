// Check digits of a CPF, the federal registration number of a natural person:
// nine digits followed by two modulo-11 check digits.
//
// The check judges the text as typed, literals and mask placeholders included;
// only "0".."9" count. It tests no length (missing positions count as 0),
// ignores digits past the eleventh and does not reject numbers made of one
// repeated digit.
#pragma once

#include <QString>

namespace CPFValida {

// True when both check digits of cpf match; false otherwise. Never throws.
bool ValidaCPF(const QString& cpf);

} // namespace CPFValida
