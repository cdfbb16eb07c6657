// State registration check digits. Each state's rule is a function of the
// typed text and its digit string; the table at the end maps the codes to them.
#include "validation/IEValida.h"

#include "validation/CheckDigit.h"
#include "validation/DigitString.h"

#include <QLatin1StringView>

#include <array>

namespace IEValida {

namespace {

using CheckDigit::remainderMatches;
using CheckDigit::standardMatches;

using Rule = bool (*)(const QString& typed, const DigitString& d);

bool ruleACDF(const QString&, const DigitString& d) {
    return standardMatches(d, {4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2}) &&
           standardMatches(d, {5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2});
}

// The eight-digit rule that nine states share.
bool ruleEightDigits(const QString&, const DigitString& d) {
    return standardMatches(d, {9, 8, 7, 6, 5, 4, 3, 2});
}

bool ruleMT(const QString&, const DigitString& d) {
    return standardMatches(d, {3, 2, 9, 8, 7, 6, 5, 4, 3, 2});
}

bool rulePR(const QString&, const DigitString& d) {
    return standardMatches(d, {3, 2, 7, 6, 5, 4, 3, 2}) &&
           standardMatches(d, {4, 3, 2, 7, 6, 5, 4, 3, 2});
}

bool ruleRJ(const QString&, const DigitString& d) {
    return standardMatches(d, {2, 7, 6, 5, 4, 3, 2});
}

bool ruleRS(const QString&, const DigitString& d) {
    return standardMatches(d, {2, 9, 8, 7, 6, 5, 4, 3, 2});
}

// Digits 3 and 4 (the old type code) take no part.
bool ruleTO(const QString&, const DigitString& d) {
    const int sum = d.weightedSum({9, 8}, 1) + d.weightedSum({7, 6, 5, 4, 3, 2}, 5);
    return CheckDigit::standard(sum) == d.at(11);
}

// Ten times the sum, remainder by 11.
bool ruleAL(const QString&, const DigitString& d) {
    return CheckDigit::remainder(10 * d.weightedSum({9, 8, 7, 6, 5, 4, 3, 2})) == d.at(9);
}

bool ruleAP(const QString&, const DigitString& d) {
    if (!d.text().startsWith(QLatin1StringView("03")))
        return true;
    const qint64 base = d.leadingNumber(8);
    int p = 0;
    int e = 0;
    if (base >= 3000001 && base <= 3017000) {
        p = 5;
    } else if (base >= 3017001 && base <= 3019022) {
        p = 9;
        e = 1;
    }
    int digit = 11 - (p + d.weightedSum({9, 8, 7, 6, 5, 4, 3, 2})) % 11;
    if (digit == 10)
        digit = 0;
    else if (digit == 11)
        digit = e;
    return digit == d.at(9);
}

// A sum below 11 gives 11 − sum unmapped, so sums of 0 and 1 never match.
bool ruleAM(const QString&, const DigitString& d) {
    const int sum = d.weightedSum({9, 8, 7, 6, 5, 4, 3, 2});
    const int digit = sum < 11 ? 11 - sum : CheckDigit::standard(sum);
    return digit == d.at(9);
}

// Eight digits; the last one chooses the modulus, and the second check digit
// (position 7) is computed from the first (position 8).
bool ruleBA(const QString&, const DigitString& d) {
    const int last = d.at(8);
    const bool modulus11 = last == 6 || last == 7 || last == 9;
    const auto step = [modulus11](int sum) {
        if (modulus11)
            return CheckDigit::standard(sum);
        return sum % 10 == 0 ? 0 : 10 - sum % 10;
    };
    const int first = step(d.weightedSum({7, 6, 5, 4, 3, 2}));
    if (first != d.at(8))
        return false;
    return step(d.weightedSum({8, 7, 6, 5, 4, 3}) + 2 * first) == d.at(7);
}

// Remainder 0 passes whatever the ninth digit; remainder 1 passes only for
// the numbers of one listed range and one single number.
bool ruleGO(const QString&, const DigitString& d) {
    const int r = d.weightedSum({9, 8, 7, 6, 5, 4, 3, 2}) % 11;
    if (r == 0)
        return true;
    if (r == 1) {
        const qint64 base = d.leadingNumber(8);
        return (base >= 10103105 && base <= 10119997) || base == 11094402;
    }
    return 11 - r == d.at(9);
}

// First check digit: a zero is inserted after the third digit, the values are
// multiplied alternately by 1 and 2, and the decimal digits of the products
// are added up; the check digit tops that sum up to the next multiple of ten.
bool ruleMG(const QString&, const DigitString& d) {
    const std::array<int, 12> values{d.at(1), d.at(2), d.at(3), 0,       d.at(4),  d.at(5),
                                     d.at(6), d.at(7), d.at(8), d.at(9), d.at(10), d.at(11)};
    int total = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const int product = values[i] * (i % 2 == 0 ? 1 : 2);
        total += product / 10 + product % 10; // products are at most 18
    }
    const int first = (total / 10 + 1) * 10 - total;
    if ((first == 10 ? 0 : first) != d.at(12))
        return false;
    return standardMatches(d, {3, 2, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2});
}

// Thirteen or more digits: the older 14-digit numbers; otherwise nine digits.
bool rulePE(const QString&, const DigitString& d) {
    if (d.length() >= 13)
        return standardMatches(d, {5, 4, 3, 2, 1, 9, 8, 7, 6, 5, 4, 3, 2});
    return standardMatches(d, {8, 7, 6, 5, 4, 3, 2}) &&
           standardMatches(d, {9, 8, 7, 6, 5, 4, 3, 2});
}

bool ruleRN(const QString&, const DigitString& d) {
    if (d.length() == 10)
        return standardMatches(d, {10, 9, 8, 7, 6, 5, 4, 3, 2});
    return standardMatches(d, {9, 8, 7, 6, 5, 4, 3, 2});
}

// Longer numbers are read from a place set by the typed length L (punctuation
// included): the six digits from position L − 7 on.
bool ruleRO(const QString& typed, const DigitString& d) {
    const qsizetype start = typed.size() - 7;
    if (d.length() > 6 && start >= 1)
        return standardMatches(d.slice(start, 6), {6, 5, 4, 3, 2});
    return standardMatches(d, {6, 5, 4, 3, 2});
}

bool ruleRR(const QString&, const DigitString& d) {
    return d.weightedSum({1, 2, 3, 4, 5, 6, 7, 8}) % 9 == d.at(9);
}

// A capital "P" first marks a rural producer: one check digit over the digits
// after it. Other numbers carry two.
bool ruleSP(const QString& typed, const DigitString& d) {
    const bool firstMatches = remainderMatches(d, {1, 3, 4, 5, 6, 7, 8, 10});
    if (typed.startsWith(QLatin1Char('P')) || !firstMatches)
        return firstMatches;
    return remainderMatches(d, {3, 2, 10, 9, 8, 7, 6, 5, 4, 3, 2});
}

struct StateRule {
    const char* code;
    Rule rule;
};

constexpr std::array<StateRule, 27> rules{{
    {"AC", ruleACDF},        {"AL", ruleAL},          {"AM", ruleAM},
    {"AP", ruleAP},          {"BA", ruleBA},          {"CE", ruleEightDigits},
    {"DF", ruleACDF},        {"ES", ruleEightDigits}, {"GO", ruleGO},
    {"MA", ruleEightDigits}, {"MG", ruleMG},          {"MS", ruleEightDigits},
    {"MT", ruleMT},          {"PA", ruleEightDigits}, {"PB", ruleEightDigits},
    {"PE", rulePE},          {"PI", ruleEightDigits}, {"PR", rulePR},
    {"RJ", ruleRJ},          {"RN", ruleRN},          {"RO", ruleRO},
    {"RR", ruleRR},          {"RS", ruleRS},          {"SC", ruleEightDigits},
    {"SE", ruleEightDigits}, {"SP", ruleSP},          {"TO", ruleTO},
}};

} // namespace

bool ValidaIE(const QString& ie, const QString& uf) {
    for (const StateRule& entry : rules) {
        if (uf == QLatin1StringView(entry.code))
            return entry.rule(ie, DigitString::digitsOf(ie));
    }
    return true;
}

} // namespace IEValida
