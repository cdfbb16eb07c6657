// The masked field reads literals and "_" placeholders, takes letters only
// where the CNPJ allows them, and gives stored values back as they were.
#include "platform/MaskedEdit.h"
#include "platform/MaskInput.h"

#include <QTest>
#include <gtest/gtest.h>

namespace {

struct ReadCase {
    const char* mask;
    const char* typed;
    const char* reads;
};

// Types `keys` from the start of the field, as the user would.
void type(MaskedEdit& edit, const QString& keys) {
    edit.setCursorPosition(0);
    for (const QChar key : keys) {
        // QTest maps ASCII keys only; others arrive as text without a key code.
        if (key.unicode() < 0x80)
            QTest::keyClick(&edit, key.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, &edit, Qt::Key_unknown, QString(key), Qt::NoModifier);
    }
}

} // namespace

TEST(MaskInput, TranslatesFieldNotationIntoQtMasks) {
    const std::pair<const char*, const char*> cases[] = {
        {"#####-###", "99999-999;_"},
        {"##.###.###/####-##", "99.999.999/9999-99;_"},
        {"####-#/##", "9999-9/99;_"},
        {"(##) ####", "(99) 9999;_"},
        {">?-?&", ">A-AX;_"},
        {"AB-\\#9", "N\\B-\\#0;_"}, // "B" is a literal here, a placeholder for Qt
        {"", ""},
    };
    for (const auto& [mask, qt] : cases)
        EXPECT_EQ(MaskInput::toQtInputMask(QString::fromLatin1(mask)), QString::fromLatin1(qt))
            << mask;
    EXPECT_EQ(MaskInput::inputPositions(QStringLiteral(">##-\\#")),
              (QList<bool>{true, true, false, false}));
}

TEST(MaskedEdit, ReadsLiteralsTypedCharactersAndPlaceholders) {
    const ReadCase cases[] = {
        {"#####-###", "", "_____-___"},
        {"####-####", "", "____-____"},
        {"#####-###", "224", "224__-___"},
        {"#####-###", "22410002", "22410-002"},
        {"#####-###", "2x2", "22___-___"}, // a letter is not a digit
        {"#####-###", "224100029", "22410-002"},
        {"##.###.###/####-##", "", "__.___.___/____-__"},
        {"##.###.###/####-##", "11222333000181", "11.222.333/0001-81"},
        {"###.###.###-##", "1234567", "123.456.7__-__"},
        {"####-#/##", "4721102", "4721-1/02"},
        {"########", "7804", "7804____"},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(std::string(c.mask) + " typed " + c.typed);
        MaskedEdit edit;
        edit.setMask(QString::fromLatin1(c.mask));
        type(edit, QString::fromLatin1(c.typed));
        EXPECT_EQ(edit.maskedText(), QString::fromLatin1(c.reads));
        EXPECT_EQ(edit.mask(), QString::fromLatin1(c.mask));
    }
}

TEST(MaskedEdit, CnpjTakesUpperCaseLettersOnlyInTheFirstTwelvePositions) {
    const std::pair<const char*, const char*> cases[] = {
        {"12abc345x01de35", "12.ABC.345/X01D-35"}, // "e" refused at a check digit
        {"12ABC34501DE35", "12.ABC.345/01DE-35"},
        {"11222333000181", "11.222.333/0001-81"},
        {"12345678000ab1", "12.345.678/000A-1_"}, // "b" refused at a check digit
        {"ç12é.345", "12.345.___/____-__"},       // accented letters refused
        {"", "__.___.___/____-__"},
    };
    for (const auto& [typed, reads] : cases) {
        SCOPED_TRACE(typed);
        MaskedEdit edit;
        edit.setCnpjMask();
        type(edit, QString::fromUtf8(typed));
        EXPECT_EQ(edit.maskedText(), QString::fromLatin1(reads));
        EXPECT_EQ(edit.mask(), QStringLiteral("##.###.###/####-##"));
    }
}

TEST(MaskedEdit, StoredValuesRoundTrip) {
    const std::pair<const char*, const char*> cases[] = {
        {"#####-###", "22410-002"},
        {"#####-###", "_____-___"},
        {"#####-###", "224__-___"},
        {"#####-###", "12_45-6_8"}, // gaps stay where they were
        {"####-####", "____-__34"},
        {"##.###.###/####-##", "11.222.333/0001-81"},
        {"###.###.###-##", "123.456.789-09"},
        {"####-#/##", "4721-1/02"},
    };
    for (const auto& [mask, stored] : cases) {
        SCOPED_TRACE(std::string(mask) + " " + stored);
        MaskedEdit edit;
        edit.setMask(QString::fromLatin1(mask));
        type(edit, QStringLiteral("9"));
        edit.setMaskedText(QString::fromLatin1(stored));
        EXPECT_EQ(edit.maskedText(), QString::fromLatin1(stored));
    }

    MaskedEdit cnpj;
    cnpj.setCnpjMask();
    cnpj.setMaskedText(QStringLiteral("12.ABC.345/01DE-35"));
    EXPECT_EQ(cnpj.maskedText(), QStringLiteral("12.ABC.345/01DE-35"));
}

TEST(MaskedEdit, ValueOfAnotherLayoutIsTypedFromTheStart) {
    MaskedEdit edit;
    edit.setMask(QStringLiteral("##.###.###/####-##"));
    edit.setMaskedText(QStringLiteral("11222333000181"));
    EXPECT_EQ(edit.maskedText(), QStringLiteral("11.222.333/0001-81"));
    edit.setMaskedText(QString());
    EXPECT_EQ(edit.maskedText(), QStringLiteral("__.___.___/____-__"));
}

TEST(MaskedEdit, StoredValueTheMaskCannotHoldIsShownAsItIsUntilTheUserTypes) {
    MaskedEdit edit;
    edit.setMask(QStringLiteral("####-####"));
    EXPECT_TRUE(edit.showStored(QStringLiteral("2512-3344")));
    EXPECT_TRUE(edit.showStored(QString()));
    EXPECT_EQ(edit.maskedText(), QStringLiteral("____-____"));

    EXPECT_FALSE(edit.showStored(QStringLiteral("(21) 2512-3344")));
    EXPECT_TRUE(edit.holdsUnfitValue());
    EXPECT_EQ(edit.maskedText(), QStringLiteral("(21) 2512-3344"));
    edit.selectAll();
    QTest::keyClicks(&edit, QStringLiteral("25123344"));
    EXPECT_FALSE(edit.holdsUnfitValue());
    EXPECT_EQ(edit.maskedText(), QStringLiteral("2512-3344"));
}

TEST(MaskedEdit, ChangingTheMaskKeepsTheTypedCharactersInOrder) {
    MaskedEdit edit;
    edit.setMask(QStringLiteral("##.###.###/####-##"));
    type(edit, QStringLiteral("12345678"));
    edit.setMask(QStringLiteral("###.###.###-##"));
    EXPECT_EQ(edit.maskedText(), QStringLiteral("123.456.78_-__"));
    edit.setMask(QStringLiteral("##.###.###/####-##"));
    EXPECT_EQ(edit.maskedText(), QStringLiteral("12.345.678/____-__"));
    edit.setMask(QString());
    EXPECT_EQ(edit.maskedText(), QStringLiteral("12345678"));
}
