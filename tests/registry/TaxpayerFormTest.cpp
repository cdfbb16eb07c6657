// The taxpayer windows' decisions without a window: the order of the field
// checks and which single message a press shows, the lost-focus results,
// the rows stored, and the choice rule of the taxpayer lists.
#include "registry/TaxpayerForm.h"
#include "registry/TaxpayerChoice.h"

#include <gtest/gtest.h>

namespace {

using namespace TaxpayerForm;

// A taxpayer every check accepts (valid RJ IE, valid CNPJ, complete CNAE).
Fields valid() {
    Fields f;
    f.ie = QStringLiteral("78045302");
    f.razaoSocial = QStringLiteral("Padaria São João Ltda");
    f.cnpj = QStringLiteral("11.222.333/0001-81");
    f.cnae = QStringLiteral("1091-1/02");
    f.ccm = QStringLiteral("1.234.567-8");
    f.chave = QStringLiteral("A7K2M9QX");
    return f;
}

TEST(TaxpayerFormChecks, FirstFailingCheckDecidesTheMessage) {
    struct Case {
        const char* what;
        void (*spoil)(Fields&);
        QString expected; // with requireKey
    };
    const Case cases[] = {
        {"all good", [](Fields&) {}, QString()},
        {"IE check digit", [](Fields& f) { f.ie = QStringLiteral("78045303"); }, kMsgIe},
        // Several wrong fields: only the first in order is reported.
        {"IE and name wrong",
         [](Fields& f) {
             f.ie = QStringLiteral("78045303");
             f.razaoSocial.clear();
             f.cnpj = QStringLiteral("__.___.___/____-__");
         },
         kMsgIe},
        {"name empty", [](Fields& f) { f.razaoSocial.clear(); }, kMsgRazaoSocial},
        {"name empty and CNPJ short",
         [](Fields& f) {
             f.razaoSocial.clear();
             f.cnpj = QStringLiteral("11.222.333/0001-8_");
         },
         kMsgRazaoSocial},
        {"CNPJ one position short",
         [](Fields& f) { f.cnpj = QStringLiteral("11.222.333/0001-8_"); }, kMsgCnpjIncompleto},
        {"CNPJ untouched", [](Fields& f) { f.cnpj = QStringLiteral("__.___.___/____-__"); },
         kMsgCnpjIncompleto},
        // Complete but with a wrong check digit: past the length check.
        {"CNPJ check digit", [](Fields& f) { f.cnpj = QStringLiteral("11.222.333/0001-80"); },
         kMsgCnpjInvalido},
        {"alphanumeric CNPJ", [](Fields& f) { f.cnpj = QStringLiteral("12.ABC.345/01DE-35"); },
         QString()},
        {"CNAE short", [](Fields& f) { f.cnae = QStringLiteral("1091-1/0_"); }, kMsgCnae},
        {"CNAE untouched", [](Fields& f) { f.cnae = QStringLiteral("____-_/__"); }, kMsgCnae},
        {"key empty", [](Fields& f) { f.chave.clear(); }, kMsgChave},
        {"CNAE short and key empty",
         [](Fields& f) {
             f.cnae = QStringLiteral("1091-1/0_");
             f.chave.clear();
         },
         kMsgCnae},
        // An IE needs a digit; beyond that it has no length test: missing
        // positions count as zeros.
        {"IE untouched", [](Fields& f) { f.ie = QStringLiteral("________"); }, kMsgIe},
        {"IE blank", [](Fields& f) { f.ie.clear(); }, kMsgIe},
        {"IE one digit", [](Fields& f) { f.ie = QStringLiteral("0_______"); }, QString()},
        {"IE seven zeros and a blank", [](Fields& f) { f.ie = QStringLiteral("0000000_"); },
         QString()},
        {"CCM and Simples are free",
         [](Fields& f) {
             f.ccm.clear();
             f.optanteSimples = true;
         },
         QString()},
    };
    for (const Case& c : cases) {
        Fields f = valid();
        c.spoil(f);
        EXPECT_EQ(firstFieldError(f, true), c.expected) << c.what;
        // The key button checks the same fields but not the key.
        const QString withoutKey = c.expected == kMsgChave ? QString() : c.expected;
        EXPECT_EQ(firstFieldError(f, false), withoutKey) << c.what;
    }
}

TEST(TaxpayerFormChecks, OkRefusalBoxes) {
    const Message errorBox{kMsgCnae, kTitle, MsgIcon::Critical, MsgButtons::Ok};
    const Message pendingBox{kMsgCorrija, QString(), MsgIcon::None, MsgButtons::Ok};
    struct Case {
        const char* what;
        bool spoilCnae;
        QString erroMsg;
        std::optional<Message> expected;
    };
    const Case cases[] = {
        {"clean", false, QString(), std::nullopt},
        {"IE already registered", false, kJaCadastrado, pendingBox},
        {"CNPJ left invalid", false, kFocusCnpj, pendingBox},
        // A field check comes before the pending lost-focus result.
        {"field error wins", true, kJaCadastrado, errorBox},
    };
    for (const Case& c : cases) {
        Fields f = valid();
        if (c.spoilCnae)
            f.cnae = QStringLiteral("1091-1/0_");
        EXPECT_EQ(okRefusal(f, c.erroMsg), c.expected) << c.what;
    }
}

TEST(TaxpayerFormChecks, LostFocusResults) {
    EXPECT_EQ(cnpjFocusMessage(QStringLiteral("11.222.333/0001-81")), QString());
    EXPECT_EQ(cnpjFocusMessage(QStringLiteral("11.222.333/0001-80")),
              QStringLiteral("CNPJ Inválido"));
    EXPECT_EQ(updateIeFocusMessage(QStringLiteral("78045302")), QString());
    EXPECT_EQ(updateIeFocusMessage(QStringLiteral("78045303")),
              QStringLiteral("Inscrição Estadual inválida."));
    EXPECT_EQ(newIeFocusMessage(0), QString());
    EXPECT_EQ(newIeFocusMessage(1), QStringLiteral("Contribuinte já cadastrado."));
    EXPECT_EQ(newIeFocusMessage(3), QStringLiteral("Contribuinte já cadastrado."));
}

TEST(TaxpayerFormChecks, PromptsAndDocument) {
    EXPECT_EQ(lengthWithoutPrompts(QStringLiteral("__.___.___/____-__")), 4);
    EXPECT_EQ(lengthWithoutPrompts(QStringLiteral("11.222.333/0001-81")), 18);
    EXPECT_EQ(lengthWithoutPrompts(QStringLiteral("1091-1/02")), 9);
    EXPECT_EQ(lengthWithoutPrompts(QString()), 0);
    EXPECT_EQ(documentDigits(QStringLiteral("11.222.333/0001-81")),
              QStringLiteral("11222333000181"));
    EXPECT_EQ(documentDigits(QStringLiteral("12.ABC.345/01DE-35")),
              QStringLiteral("12ABC34501DE35"));
}

TEST(TaxpayerFormRows, InsertKeepsTextsUpdateLeavesCnpjAndKeyOut) {
    Fields f = valid();
    f.razaoSocial = QStringLiteral("D'Ávila Comércio");
    f.optanteSimples = true;
    const ContribuinteRow insert = rowToInsert(f);
    EXPECT_EQ(insert, (ContribuinteRow{f.ie, f.razaoSocial, f.cnpj, f.cnae, f.chave, f.ccm, true}));

    f.optanteSimples = false;
    const ContribuinteRow update = rowToUpdate(f);
    EXPECT_EQ(update,
              (ContribuinteRow{f.ie, f.razaoSocial, QString(), f.cnae, QString(), f.ccm, false}));
}

TEST(TaxpayerChoiceRule, HeaderAndEmptyNamesAreNoChoice) {
    using TaxpayerChoice::isChosen;
    EXPECT_TRUE(isChosen(QStringLiteral("Padaria São João Ltda")));
    EXPECT_TRUE(isChosen(QStringLiteral("razão social"))) << "only the exact header text";
    EXPECT_FALSE(isChosen(QStringLiteral("RAZÃO SOCIAL")));
    EXPECT_FALSE(isChosen(QString()));
}

TEST(TaxpayerChoiceRule, GridColumns) {
    using namespace TaxpayerChoice;
    const QStringList headers{QStringLiteral("IE"), QStringLiteral("RAZÃO SOCIAL"),
                              QStringLiteral("CNPJ"), QStringLiteral("CNAE"), QString()};
    const int twips[] = {1300, 4400, 1600, 1000, 0};
    for (int c = 0; c < kColumns; ++c) {
        EXPECT_EQ(header(c), headers[c]) << c;
        EXPECT_EQ(columnTwips(c), twips[c]) << c;
    }
    const ContribuinteRow row{QStringLiteral("78045302"),
                              QStringLiteral("Padaria"),
                              QStringLiteral("11.222.333/0001-81"),
                              QStringLiteral("1091-1/02"),
                              QStringLiteral("A7K2M9QX"),
                              QStringLiteral("x"),
                              true};
    EXPECT_EQ(rowCells(row), (QStringList{row.IE, row.RazaoSocial, row.Cnpj, row.Cnae, row.Chave}));
}

} // namespace
