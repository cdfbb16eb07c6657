// Check-digit steps shared by the document checks; see CheckDigit.h.
#include "validation/CheckDigit.h"

namespace CheckDigit {

namespace {

int positionAfter(std::initializer_list<int> weights) {
    return static_cast<int>(weights.size()) + 1;
}

} // namespace

bool standardMatches(const DigitString& digits, std::initializer_list<int> weights) {
    return standard(digits.weightedSum(weights)) == digits.at(positionAfter(weights));
}

bool remainderMatches(const DigitString& digits, std::initializer_list<int> weights) {
    return remainder(digits.weightedSum(weights)) == digits.at(positionAfter(weights));
}

} // namespace CheckDigit
