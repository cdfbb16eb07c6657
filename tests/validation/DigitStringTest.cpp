// The digit string every check starts from: what is kept, the zero padding
// of missing positions, and the helpers the state rules read it with.
#include "validation/DigitString.h"

#include <gtest/gtest.h>

namespace {

TEST(DigitString, KeepsWhatCountsInOrder) {
    struct Case {
        const char* typed; // UTF-8
        const char* digits;
        const char* alphanumeric;
    };
    const Case cases[] = {
        {"12.345.678/0001-95", "12345678000195", "12345678000195"},
        {"__.___.___/____-__", "", ""},
        {"P-0110 0424", "01100424", "P01100424"},
        {"12.abc.345/01DE-35", "123450135", "12ABC34501DE35"},
        {"Áéßÿ\u212A", "", ""}, // accented letters and the Kelvin sign are not A-Z
        {"١٢٣", "", ""},        // Arabic-Indic digits are not "0".."9"
        {"/:@[`{", "", ""},     // neighbours of the ranges
    };
    for (const Case& c : cases) {
        const QString typed = QString::fromUtf8(c.typed);
        EXPECT_EQ(DigitString::digitsOf(typed).text().toStdString(), c.digits) << c.typed;
        EXPECT_EQ(DigitString::alphanumericOf(typed).text().toStdString(), c.alphanumeric)
            << c.typed;
    }
}

TEST(DigitString, PositionsOutsideTheStringCountAsZero) {
    const DigitString d = DigitString::alphanumericOf(QStringLiteral("90Az"));
    EXPECT_EQ(d.length(), 4);
    EXPECT_EQ(d.at(0), 0);
    EXPECT_EQ(d.at(-3), 0);
    EXPECT_EQ(d.at(1), 9);
    EXPECT_EQ(d.at(2), 0);
    EXPECT_EQ(d.at(3), 17); // "A"
    EXPECT_EQ(d.at(4), 42); // "z" read as "Z"
    EXPECT_EQ(d.at(5), 0);
    EXPECT_EQ(d.weightedSum({1, 1, 1, 1, 1, 1}), 9 + 17 + 42);
    EXPECT_EQ(d.weightedSum({2, 3}, 3), 2 * 17 + 3 * 42);
}

TEST(DigitString, LeadingNumberPadsAndSliceStopsAtTheEnd) {
    const DigitString d = DigitString::digitsOf(QStringLiteral("03.01"));
    EXPECT_EQ(d.leadingNumber(8), 3010000);
    EXPECT_EQ(d.leadingNumber(2), 3);
    EXPECT_EQ(DigitString::digitsOf(QStringLiteral("99999999999999999999")).leadingNumber(18),
              999999999999999999LL);

    const DigitString long9 = DigitString::digitsOf(QStringLiteral("123456789"));
    EXPECT_EQ(long9.slice(4, 6).text(), QStringLiteral("456789"));
    EXPECT_EQ(long9.slice(7, 6).text(), QStringLiteral("789"));
    EXPECT_EQ(long9.slice(10, 6).length(), 0);
    EXPECT_EQ(long9.slice(1000, 6).at(1), 0);
}

} // namespace
