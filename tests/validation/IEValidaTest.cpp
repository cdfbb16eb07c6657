// State registration check digits: for every one of the 27 state codes a
// number that passes and one that fails, then the variants that depend on the
// typed form, on ranges or on length. Expected results were worked out by hand
// or with a separate script, never by running the check under test; "S" is
// the weighted sum and "D" the computed check digit.
#include "validation/IEValida.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* uf;
    const char* ie; // UTF-8, as typed
    bool valid;
    const char* why;
};

void expectCases(std::initializer_list<Case> cases) {
    for (const Case& c : cases)
        EXPECT_EQ(IEValida::ValidaIE(QString::fromUtf8(c.ie), QString::fromLatin1(c.uf)), c.valid)
            << c.uf << " " << c.ie << " (" << c.why << ")";
}

TEST(ValidaIE, EveryStatePassesItsOwnNumberAndFailsAWrongDigit) {
    expectCases({
        {"AC", "01.004.823/001-12", true, "D1: S 120, 11 - 10 = 1; D2: 2"},
        {"AC", "01.004.823/001-13", false, "second digit wrong"},
        {"AL", "240000048", true, "S 58, 10 x S = 580, 580 mod 11 = 8"},
        {"AL", "240000049", false, "check digit wrong"},
        {"AL", "240123450", true, "S 100, 1000 mod 11 = 10 becomes 0"},
        {"AM", "04.155.871-5", true, "S 149, r 6, D 5"},
        {"AM", "04.155.871-6", false, "check digit wrong"},
        {"AP", "03.012.345-9", true, "B 3012345: p 5; S 79, r 2, D 9"},
        {"AP", "03.012.345-8", false, "check digit wrong"},
        {"BA", "123456-63", true, "digit 8 = 3: mod 10; D1: S 77, 3; D2: S 104, 6"},
        {"BA", "123456-73", false, "digit 7 wrong"},
        {"CE", "06000001-5", true, "S 50, r 6, D 5"},
        {"CE", "06000001-6", false, "check digit wrong"},
        {"DF", "07.300001.001-09", true, "D1: S 34, r 1, 0; D2: 9"},
        {"DF", "07.300001.001-08", false, "second digit wrong"},
        {"ES", "082.132.22-4", true, "S 117, r 7, D 4"},
        {"ES", "082.132.22-5", false, "check digit wrong"},
        {"GO", "10.987.654-7", true, "S 202, r 4, D 7"},
        {"GO", "10.987.654-8", false, "check digit wrong"},
        {"MA", "12000038-5", true, "S 50, r 6, D 5"},
        {"MA", "12000038-6", false, "check digit wrong"},
        {"MG", "062.307.904/0081", true, "T 32, N 40, D1 8; D2: S 219, r 10, 1"},
        {"MG", "062.307.904/0082", false, "second digit wrong"},
        {"MS", "28312345-1", true, "S 98, r 10, D 1"},
        {"MS", "28312345-2", false, "check digit wrong"},
        {"MT", "0013000001-9", true, "S 35, r 2, D 9"},
        {"MT", "0013000001-8", false, "check digit wrong"},
        {"PA", "15-999999-5", true, "S 292, r 6, D 5"},
        {"PA", "15-999999-4", false, "check digit wrong"},
        {"PB", "16000000-9", true, "S 57, r 2, D 9"},
        {"PB", "16000000-0", false, "check digit wrong"},
        {"PE", "0321418-40", true, "D1: 4; D2: 0"},
        {"PE", "0321418-41", false, "second digit wrong"},
        {"PI", "19123456-7", true, "S 158, r 4, D 7"},
        {"PI", "19123456-8", false, "check digit wrong"},
        {"PR", "123.45678-50", true, "D1: S 138, r 6, 5; D2: 0"},
        {"PR", "123.45678-51", false, "second digit wrong"},
        {"RJ", "78.045.30-2", true, "S 119, r 9, D 2"},
        {"RJ", "78.045.30-3", false, "check digit wrong"},
        {"RN", "20.040.040-1", true, "nine digits: D 1"},
        {"RN", "20.040.040-2", false, "check digit wrong"},
        {"RO", "101.62521-3", true, "slice from 4: 625213; S 74, r 8, D 3"},
        {"RO", "101.62521-4", false, "check digit wrong"},
        {"RR", "24006628-1", true, "S 154, 154 mod 9 = 1"},
        {"RR", "24006628-2", false, "check digit wrong"},
        {"RS", "224/3658792", true, "S 207, r 9, D 2"},
        {"RS", "224/3658793", false, "check digit wrong"},
        {"SC", "250.000.016", true, "S 60, r 5, D 6"},
        {"SC", "250.000.017", false, "check digit wrong"},
        {"SE", "27123456-3", true, "S 151, r 8, D 3"},
        {"SE", "27123456-4", false, "check digit wrong"},
        {"SP", "110.042.490.114", true, "D1: S 164, r 10, 0; D2: S 125, r 4"},
        {"SP", "110.042.490.115", false, "second digit wrong"},
        {"TO", "29.03.123456-9", true, "digits 1-2, 5-10: S 167, r 2, D 9"},
        {"TO", "29.03.123456-8", false, "check digit wrong"},
    });
}

TEST(ValidaIE, EmptyOrWordlessTextCountsAsZeros) {
    expectCases({
        {"SP", "", true, "every position 0: D1 = D2 = 0"},
        {"RJ", "", true, "every position 0"},
        {"SP", "ISENTO", true, "letters dropped"},
        {"RJ", "isento", true, "letters dropped"},
        {"AM", "", false, "S 0 below 11 gives 11, which no digit equals"},
        {"AM", "000000000", false, "S 0"},
        {"CE", "000000000", true, "the standard step maps S 0 to 0"},
        {"AM", "00000010-8", true, "S 3 below 11: D = 11 - 3 = 8"},
        {"RJ", "78.045.31", true, "missing eighth digit counts as 0: S 121, r 0, D 0"},
    });
}

TEST(ValidaIE, CodesOutsideTheTableRunNoRule) {
    expectCases({
        {"sp", "110.042.490.115", true, "codes are compared case-sensitively"},
        {"Rj", "78.045.30-3", true, "mixed case is no code"},
        {"", "anything", true, "empty code"},
        {"XX", "123", true, "unknown code"},
        {"SP ", "110.042.490.115", true, "trailing blank"},
        {"AP", "12.345.678-0", true, "digits not starting with 03"},
        {"AP", "3012345-0", true, "digit string starts with 30"},
    });
}

TEST(ValidaIE, WrongFirstDigitFailsEvenWhenTheSecondWouldMatch) {
    expectCases({
        {"AC", "01.004.823/001-04", false, "D1 1 expected; D2 4 fits the typed 0"},
        {"DF", "0730000100192", false, "D1 0 expected; D2 2 fits the typed 9"},
        {"PR", "123.45678-09", false, "D1 5 expected; D2 9 fits the typed 0"},
        {"MG", "062.307.904/0090", false, "D1 8 expected; D2 0 fits the typed 9"},
        {"PE", "0321418-07", false, "D1 4 expected; D2 7 fits the typed 0"},
        {"BA", "123456-44", false, "mod 10; D1 3 expected; D2 4 fits the typed 4"},
        {"SP", "110.042.491.118", false, "D1 0 expected; D2 8 fits the typed 1"},
    });
}

TEST(ValidaIE, SaoPauloRuralNumbersNeedACapitalP) {
    expectCases({
        {"SP", "P-01100424.3/002", true, "digits after P: S 91, r 3"},
        {"SP", "P-01100424.4/002", false, "check digit wrong"},
        {"SP", "p-01100424.3/002", false, "lower case: two-digit rule, D2 7 but 2 typed"},
        {"SP", "01100424.3/007", true, "the same digits pass the two-digit rule with D2 7"},
        {"SP", " P-01100424.3/002", false, "P is not the first character"},
    });
}

TEST(ValidaIE, RondoniaReadsSixDigitsFromTheTypedLength) {
    expectCases({
        {"RO", "101.62521-3", true, "L 11: slice from 4 is 625213"},
        {"RO", "10162521-3", false, "L 10: slice from 3 is 162521; D 3, digit 6 is 1"},
        {"RO", "00000000.62521-3", true, "L 16: slice from 9 is 625213"},
        {"RO", "0000000062521-3", false, "L 15: slice from 8 is 062521; D 9"},
        {"RO", "1625231", true, "L 7: L - 7 below 1, whole: 16252, S 63, D 3"},
        {"RO", "1625213", false, "whole string kept: digit 6 is 1"},
        {"RO", "101621", true, "six digits are never sliced: S 32, D 1"},
        {"RO", "1234567                    ", true, "slice past the end: all zeros pass"},
    });
}

TEST(ValidaIE, AmapaChoosesItsConstantsByRange) {
    expectCases({
        {"AP", "030170007", true, "B 3017000: p 5; S 70, D 7 (with p 9 it would be 3)"},
        {"AP", "030170011", true, "B 3017001: p 9; S 76, r 10, D 1"},
        {"AP", "030170010", false, "check digit wrong"},
        {"AP", "030190225", true, "B 3019022: p 9; S 94, r 6, D 5"},
        {"AP", "030190231", true, "B 3019023: p 0; S 87, r 10, D 1"},
        {"AP", "030000009", true, "B 3000000, below the ranges: p 0; S 24, D 9"},
        {"AP", "030000020", true, "p 5; S 33, r 0, D 11 becomes e = 0"},
        {"AP", "030170071", true, "p 9; S 88, r 0, D 11 becomes e = 1"},
        {"AP", "030170070", false, "e is 1 in the middle range"},
        {"AP", "030190290", true, "p 0; S 99, r 0, D 11 becomes e = 0"},
    });
}

TEST(ValidaIE, GoiasRemainderRules) {
    expectCases({
        {"GO", "10.000.001-5", true, "S 11, r 0: any ninth digit"},
        {"GO", "10.000.001-9", true, "S 11, r 0: any ninth digit"},
        {"GO", "10.103.105-0", true, "r 1 with B at the range's start"},
        {"GO", "10.103.105-7", true, "r 1 in range: any ninth digit"},
        {"GO", "10.119.997-3", true, "r 1 with B at the range's end"},
        {"GO", "11.094.402-0", true, "r 1 with the single listed number"},
        {"GO", "10.000.007-0", false, "r 1 below the range"},
        {"GO", "10.120.003-0", false, "r 1 above the range"},
        {"GO", "10.000.000-2", true, "S 9, r 9, D 2"},
    });
}

TEST(ValidaIE, BahiaModulusChosenByTheLastDigit) {
    expectCases({
        {"BA", "612345-57", true, "digit 8 = 7: mod 11; D1: S 92, 7; D2: S 127, 5"},
        {"BA", "612345-18", true, "digit 8 = 8: mod 10; D1: S 92, 8; D2: S 129, 1"},
        {"BA", "111111-06", true, "mod 11; D1: S 27, 6; D2: S 45, r 1, 0 with digit 7 = 0"},
        {"BA", "111111-13", true, "mod 10; D1: S 27, 3; D2: S 39, 1"},
        {"BA", "555555-55", true, "mod 10; D1: S 135, 5; D2: S 175, 5"},
        {"BA", "123456-60", false, "mod 10 gives D1 3"},
    });
}

TEST(ValidaIE, MinasGeraisJoinedDigitSum) {
    expectCases({
        {"MG", "0623079040081", true, "without punctuation"},
        {"MG", "062.307.904/0405", true, "T 40: N 50 (strictly above), D1 10 becomes 0"},
        {"MG", "062.307.904/0415", false, "T 40 must not give N 40"},
        {"MG", "431.713.111/0365", true, "T 34, D1 6; D2: S 171, 5"},
        {"MG", "123.456.789/0179", true, "products 10, 14, 18 add digit by digit: T 43"},
        {"MG", "999.999.999/9912", true, "T 99, N 100, D1 1; D2: S 614, 2"},
    });
}

TEST(ValidaIE, PernambucoAndRioGrandeDoNorteByLength) {
    expectCases({
        {"PE", "18.1.001.0000004-9", true, "14 digits: one check digit, S over 13"},
        {"PE", "18.1.001.0000004-8", false, "check digit wrong"},
        {"PE", "1810010000005-7", true, "14 digits: D 7"},
        {"PE", "1234567-97", true, "nine digits: D1 9, D2 7"},
        {"RN", "20.040.040-10", true, "ten digits: weights 10..2, D 0"},
        {"RN", "20.040.040-11", false, "check digit wrong"},
        {"RN", "20.012.345-9", true, "nine digits: D 9"},
        {"RN", "200123459-00", true, "eleven digits take the nine-digit rule"},
        {"PE", "1810010000003", true, "13 digits: the 14-digit rule, D 0"},
        {"RN", "20.0.123.456-2", true, "ten digits: D 2"},
    });
}

TEST(ValidaIE, TocantinsSkipsDigitsThreeAndFour) {
    expectCases({
        {"TO", "29.99.123456-9", true, "digits 3-4 changed: still S 167, D 9"},
        {"TO", "29.01.022783-6", true, "S 170, r 5, D 6"},
        {"TO", "29.01.022783-5", false, "check digit wrong"},
    });
}

} // namespace
