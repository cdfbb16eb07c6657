// Check digits of a CNPJ, the federal registration number of a company:
// 12 positions followed by two modulo-11 check digits.
//
// The check judges the text as typed in the entry field, literals and mask
// placeholders included. It tests no length (missing positions count as 0, so
// an empty or short text can pass; callers that need a complete number test
// that themselves), ignores everything past position 14 and does not reject
// numbers made of one repeated digit.
//
// Alphanumeric CNPJs: the first twelve positions may hold the letters A-Z as
// well as digits, each valued as its character code minus that of "0" ("A" is
// 17). Lower-case a-z count as their capitals, so "12abc..." and "12ABC..."
// are the same number. The two check digits are always numeric: a letter that
// lands on position 13 or 14 is kept there (nothing shifts) and, being worth
// 17 or more, never equals a computed check digit, so the number is invalid.
// Any text made of digits and punctuation only keeps the purely numeric rule.
#pragma once

#include <QString>

namespace CNPJValida {

// True when both check digits of cnpj match; false otherwise. Never throws.
bool ValidaCNPJ(const QString& cnpj);

} // namespace CNPJValida
