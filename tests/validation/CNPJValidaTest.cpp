// CNPJ and CPF check digits: punctuation and padding, the deliberate leniency
// (no length test, repeated digits accepted) and the alphanumeric CNPJ.
// Expected results were worked out by hand or with a separate script, never by
// running the checks under test; the check digits are noted where useful.
#include "validation/CNPJValida.h"
#include "validation/CPFValida.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* text; // UTF-8
    bool valid;
    const char* why;
};

void expectCases(bool (*check)(const QString&), std::initializer_list<Case> cases) {
    for (const Case& c : cases)
        EXPECT_EQ(check(QString::fromUtf8(c.text)), c.valid) << c.text << " (" << c.why << ")";
}

TEST(ValidaCNPJ, NumericNumbersAsTyped) {
    expectCases(
        CNPJValida::ValidaCNPJ,
        {
            {"11.222.333/0001-81", true, "D1: sum 102, 11 - 3 = 8; D2: sum 120, 11 - 10 = 1"},
            {"11.222.333/0001-82", false, "second check digit wrong"},
            {"11222333000181", true, "without punctuation"},
            {"11 222 333 0001 81", true, "with blanks"},
            {"__.___.___/____-__", true, "empty mask: every position 0, D1 = D2 = 0"},
            {"", true, "empty: every position 0"},
            {"./-_ ", true, "no character that counts"},
            {"12.345", false, "judged as 12345000000000: D1 would be 2"},
            {"12.345.000/0000-21", true, "the same digits completed: D1 2, D2 1"},
            {"10008", true, "short input padded with zeros: D1 = D2 = 0"},
            {"11.222.333/0001-81999", true, "positions past 14 ignored"},
            {"00.000.000/0000-00", true, "repeated zero not rejected"},
            {"11.111.111/1111-11", false, "D1 would be 8"},
            {"11.111.111/1111-80", true, "repeated ones completed by the arithmetic"},
            {"11.222.333/0001-06", false, "wrong D1 (8 expected) although D2 = 6 fits it"},
            {"00.000.000/0001-91", true, "D1: sum 2, 11 - 2 = 9; D2: sum 21, 11 - 10 = 1"},
        });
}

// Letters count as their code minus 48 ("A" is 17) in positions 1-12.
TEST(ValidaCNPJ, AlphanumericNumbers) {
    expectCases(
        CNPJValida::ValidaCNPJ,
        {
            {"12.ABC.345/01DE-35", true, "D1: sum 459, 11 - 8 = 3; D2: sum 424, 11 - 6 = 5"},
            {"12ABC34501DE35", true, "without punctuation"},
            {"12.abc.345/01de-35", true, "lower case counts as upper case"},
            {"12aBc34501dE35", true, "mixed case"},
            {"12.ABC.345/01DE-36", false, "second check digit wrong"},
            {"12.ABC.345/01DE-45", false, "first check digit wrong"},
            {"ABCDEFGHIJKL80", true, "D1: sum 1290, r 3, 8; D2: sum 1408, r 0, 0"},
            {"ABCDEFGHIJKL81", false, "second check digit wrong"},
            {"AAAAAAAAAAAA45", true, "D1: sum 986, r 7, 4; D2: sum 1062, r 6, 5"},
            {"ZZZZZZZZZZZZ62", true, "D1: sum 2436, r 5, 6; D2: sum 2616, r 9, 2"},
            {"1234567890AB04", true, "D1: sum 352, r 0, 0; D2: sum 392, r 7, 4"},
            {"12ABC34501DEA5", false, "letter in position 13: check digits are numeric"},
            {"12ABC34501DE3A", false, "letter in position 14"},
            {"12ABC34501DE35XYZ", true, "anything past position 14 ignored"},
            {"abc", false, "a word is no longer all zeros: ABC000000000, D1 would be 6"},
            {"12ÁBC34501DE35", false, "accented letter dropped, so the positions shift"},
            {"12ıABC34501DE35", true, "dotless i is not a letter A-Z and is dropped"},
        });
}

TEST(ValidaCPF, NumbersAsTyped) {
    expectCases(CPFValida::ValidaCPF,
                {
                    {"111.444.777-35", true, "D1: sum 162, 11 - 8 = 3; D2: sum 204, 11 - 6 = 5"},
                    {"111.444.777-36", false, "second check digit wrong"},
                    {"11144477735", true, "without punctuation"},
                    {"111 444 777 35", true, "with blanks"},
                    {"___.___.___-__", true, "empty mask"},
                    {"", true, "empty"},
                    {"abc", true, "letters do not count for a CPF"},
                    {"111a444b777c35", true, "letters between the digits are dropped"},
                    {"10036", true, "short input padded with zeros: D1 = D2 = 0"},
                    {"111.444.777-35999", true, "digits past 11 ignored"},
                    {"000.000.000-00", true, "repeated zero not rejected"},
                    {"111.111.111-11", true, "repeated ones not rejected"},
                    {"123.456.789-09", true, "D1: sum 210, r 1, 0; D2: sum 255, r 2, 9"},
                    {"111.444.777-00", false, "wrong D1 (3 expected) although D2 = 0 fits it"},
                });
}

} // namespace
