// The modulo-11 steps that turn a weighted sum into a check digit, and the
// common case of one check digit computed over positions 1..n and compared
// with the typed digit at position n + 1.
#pragma once

#include "validation/DigitString.h"

#include <initializer_list>

namespace CheckDigit {

// 11 minus the remainder of sum by 11, where 10 and 11 become 0
// (remainders 0 and 1 give 0). sum must not be negative.
constexpr int standard(int sum) {
    const int digit = 11 - sum % 11;
    return digit >= 10 ? 0 : digit;
}

// The remainder of sum by 11, where 10 becomes 0. sum must not be negative.
constexpr int remainder(int sum) {
    const int digit = sum % 11;
    return digit >= 10 ? 0 : digit;
}

// Whether the standard step over weights on positions 1..n of digits equals
// the typed digit at position n + 1 (n = number of weights).
bool standardMatches(const DigitString& digits, std::initializer_list<int> weights);
// As standardMatches, with the remainder step.
bool remainderMatches(const DigitString& digits, std::initializer_list<int> weights);

} // namespace CheckDigit
