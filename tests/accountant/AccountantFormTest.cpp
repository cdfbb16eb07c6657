// The accountant window's checks, their order and messages, the mask rules
// and the registration parameters, without a window.
#include "accountant/AccountantForm.h"

#include <gtest/gtest.h>

namespace {

using namespace AccountantForm;

// A company accountant that passes every check.
Fields validCompany() {
    Fields f;
    f.cpfMask = false;
    f.values = {QStringLiteral("11.222.333/0001-81"),
                QStringLiteral("RJ-012345/O-6"),
                QStringLiteral("Silva Contabilidade"),
                QStringLiteral("Rua São João"),
                QStringLiteral("100"),
                QString(),
                QStringLiteral("Centro"),
                QStringLiteral("Valdoria"),
                QStringLiteral("RJ"),
                QStringLiteral("____-____"),
                QStringLiteral("20000-000"),
                QStringLiteral("contato@silva.com.br")};
    return f;
}

// A natural-person accountant that passes every check.
Fields validPerson() {
    Fields f = validCompany();
    f.cpfMask = true;
    f.values.cont_cpf_cnpj = QStringLiteral("123.456.789-09");
    return f;
}

const auto kYes = [] {
    return true;
};

struct CheckCase {
    const char* what;
    Fields fields;
    QString expected; // empty: accepted
};

// One field changed from a valid form, to find each check's boundary.
template <class Change> Fields with(Fields f, Change change) {
    change(f.values);
    return f;
}

TEST(AccountantFormChecks, EachCheckAtItsBoundary) {
    const CheckCase cases[] = {
        {"valid company", validCompany(), {}},
        {"valid person", validPerson(), {}},
        // Document, company mask.
        {"CNPJ wrong check digit",
         with(validCompany(),
              [](auto& v) { v.cont_cpf_cnpj = QStringLiteral("11.222.333/0001-82"); }),
         kMsgCnpj},
        {"CNPJ one digit short, digits still right (judged by its digits alone)",
         with(validCompany(),
              [](auto& v) { v.cont_cpf_cnpj = QStringLiteral("11.222.333/0018-2_"); }),
         {}},
        {"CNPJ one digit short, digits wrong",
         with(validCompany(),
              [](auto& v) { v.cont_cpf_cnpj = QStringLiteral("11.222.333/0001-8_"); }),
         kMsgCnpj},
        {"CNPJ untouched (zeros pass the digits, length refuses)",
         with(validCompany(),
              [](auto& v) { v.cont_cpf_cnpj = QStringLiteral("__.___.___/____-__"); }),
         kMsgCnpj},
        {"alphanumeric CNPJ",
         with(validCompany(),
              [](auto& v) { v.cont_cpf_cnpj = QStringLiteral("12.ABC.345/01DE-35"); }),
         {}},
        // Document, CPF mask.
        {"CPF wrong check digit",
         with(validPerson(), [](auto& v) { v.cont_cpf_cnpj = QStringLiteral("123.456.789-00"); }),
         kMsgCpf},
        {"CPF one digit short though its digits pass",
         with(validPerson(), [](auto& v) { v.cont_cpf_cnpj = QStringLiteral("123.456.702-4_"); }),
         kMsgCpf},
        {"CPF untouched",
         with(validPerson(), [](auto& v) { v.cont_cpf_cnpj = QStringLiteral("___.___.___-__"); }),
         kMsgCpf},
        // E-mail: length only.
        {"e-mail empty", with(validCompany(), [](auto& v) { v.cont_email.clear(); }), kMsgEmail},
        {"e-mail of 5",
         with(validCompany(), [](auto& v) { v.cont_email = QStringLiteral("a@b.c"); }), kMsgEmail},
        {"e-mail of 6 without @",
         with(validCompany(), [](auto& v) { v.cont_email = QStringLiteral("abcdef"); }),
         {}},
        // Razão Social.
        {"razão social of 4",
         with(validCompany(), [](auto& v) { v.cont_razao_nome = QStringLiteral("Abcd"); }),
         kMsgRazaoSocial},
        {"razão social of 5",
         with(validCompany(), [](auto& v) { v.cont_razao_nome = QStringLiteral("Abcde"); }),
         {}},
        {"razão social of 4 with an apostrophe counts doubled",
         with(validCompany(), [](auto& v) { v.cont_razao_nome = QStringLiteral("O'Br"); }),
         {}},
        // Endereço and Número: empty only.
        {"endereço empty", with(validCompany(), [](auto& v) { v.cont_nom_endereco.clear(); }),
         kMsgEndereco},
        {"endereço blank is not empty",
         with(validCompany(), [](auto& v) { v.cont_nom_endereco = QStringLiteral(" "); }),
         {}},
        {"número empty", with(validCompany(), [](auto& v) { v.cont_num_predial.clear(); }),
         kMsgNumero},
        // CEP.
        {"CEP one placeholder left",
         with(validCompany(), [](auto& v) { v.cont_num_cep = QStringLiteral("20000-00_"); }),
         kMsgCep},
        {"CEP untouched",
         with(validCompany(), [](auto& v) { v.cont_num_cep = QStringLiteral("_____-___"); }),
         kMsgCep},
        {"CEP empty", with(validCompany(), [](auto& v) { v.cont_num_cep.clear(); }), kMsgCep},
        // Bairro and Cidade: trimmed.
        {"bairro blanks",
         with(validCompany(), [](auto& v) { v.cont_nom_bairro = QStringLiteral("   "); }),
         kMsgBairro},
        {"cidade blanks",
         with(validCompany(), [](auto& v) { v.cont_nom_cidade = QStringLiteral("  "); }),
         kMsgCidade},
        // Estado: substring of the code list followed by ",".
        {"estado lower case",
         with(validCompany(), [](auto& v) { v.cont_nom_estado = QStringLiteral("sp"); }), kMsgUf},
        {"estado unknown",
         with(validCompany(), [](auto& v) { v.cont_nom_estado = QStringLiteral("XX"); }), kMsgUf},
        {"estado empty", with(validCompany(), [](auto& v) { v.cont_nom_estado.clear(); }), {}},
        {"estado letter ending a code",
         with(validCompany(), [](auto& v) { v.cont_nom_estado = QStringLiteral("P"); }),
         {}},
        {"estado two neighbouring codes",
         with(validCompany(), [](auto& v) { v.cont_nom_estado = QStringLiteral("RJ,RN"); }),
         {}},
        // Never tested: telephone and complement.
        {"telefone and complemento anything",
         with(validCompany(),
              [](auto& v) {
                  v.cont_num_telefone = QStringLiteral("12");
                  v.cont_dsc_complemento = QStringLiteral("'");
              }),
         {}},
    };
    for (const CheckCase& c : cases) {
        const CheckOutcome outcome = runChecks(c.fields, kYes);
        EXPECT_EQ(outcome.erroMsg, c.expected) << c.what;
        EXPECT_EQ(outcome.passed(), c.expected.isEmpty()) << c.what;
    }
}

TEST(AccountantFormChecks, FirstFailingCheckInOrderWins) {
    // Break every field, then mend them one at a time in check order: the
    // message is always that of the earliest field still broken.
    Fields f = validCompany();
    f.values.cont_cpf_cnpj = QStringLiteral("11.222.333/0001-82");
    f.values.cont_email = QStringLiteral("a@b");
    f.values.cont_num_crc = QStringLiteral("RJ1");
    f.values.cont_razao_nome = QStringLiteral("Ab");
    f.values.cont_nom_endereco.clear();
    f.values.cont_num_predial.clear();
    f.values.cont_num_cep = QStringLiteral("_____-___");
    f.values.cont_nom_bairro.clear();
    f.values.cont_nom_cidade.clear();
    f.values.cont_nom_estado = QStringLiteral("rj");

    const Fields good = validCompany();
    struct Step {
        QString expected;
        QString ContadorRow::*mend;
    };
    const Step steps[] = {
        {kMsgCnpj, &ContadorRow::cont_cpf_cnpj},
        {kMsgEmail, &ContadorRow::cont_email},
        {kMsgRazaoSocial, &ContadorRow::cont_razao_nome},
        {kMsgEndereco, &ContadorRow::cont_nom_endereco},
        {kMsgNumero, &ContadorRow::cont_num_predial},
        {kMsgCep, &ContadorRow::cont_num_cep},
        {kMsgBairro, &ContadorRow::cont_nom_bairro},
        {kMsgCidade, &ContadorRow::cont_nom_cidade},
        {kMsgUf, &ContadorRow::cont_nom_estado},
    };
    for (const Step& s : steps) {
        EXPECT_EQ(runChecks(f, kYes).erroMsg, s.expected);
        f.values.*s.mend = good.values.*s.mend;
    }
    EXPECT_TRUE(runChecks(f, kYes).passed());
}

TEST(AccountantFormChecks, CrcQuestionAskedInItsPlace) {
    struct Case {
        const char* what;
        Fields fields;
        bool answer;
        int expectedAsks;
        QString expectedMsg;
        QString storedCrc;
    };
    const auto blankCrc = [](Fields f, const QString& crc) {
        f.values.cont_num_crc = crc;
        return f;
    };
    Fields badEmail = blankCrc(validCompany(), QString());
    badEmail.values.cont_email = QStringLiteral("x");
    Fields badName = blankCrc(validCompany(), QString());
    badName.values.cont_razao_nome = QStringLiteral("x");
    const Case cases[] = {
        {"CRC typed: no question", validCompany(), false, 0, {}, QStringLiteral("RJ-012345/O-6")},
        {"CRC empty, No", blankCrc(validCompany(), QString()), false, 1, kMsgSemCrc, {}},
        {"CRC empty, Yes", blankCrc(validCompany(), QString()), true, 1, {}, QString()},
        {"CRC blanks, Yes stores it empty",
         blankCrc(validCompany(), QStringLiteral("  ")),
         true,
         1,
         {},
         QString()},
        {"e-mail refused before the question", badEmail, true, 0, kMsgEmail, {}},
        {"question before Razão Social", badName, true, 1, kMsgRazaoSocial, {}},
    };
    for (const Case& c : cases) {
        int asks = 0;
        const CheckOutcome outcome = runChecks(c.fields, [&] {
            ++asks;
            return c.answer;
        });
        EXPECT_EQ(asks, c.expectedAsks) << c.what;
        EXPECT_EQ(outcome.erroMsg, c.expectedMsg) << c.what;
        if (outcome.passed()) {
            EXPECT_EQ(outcome.row.cont_num_crc, c.storedCrc) << c.what;
        }
    }
}

TEST(AccountantFormChecks, RowToStoreKeepsPlainTexts) {
    Fields f = validCompany();
    f.values.cont_razao_nome = QStringLiteral("D'Ávila & Filhos");
    f.values.cont_nom_bairro = QStringLiteral("Sant'Ana");
    const CheckOutcome outcome = runChecks(f, kYes);
    ASSERT_TRUE(outcome.passed()) << outcome.erroMsg.toStdString();
    EXPECT_EQ(outcome.row, f.values);
}

TEST(AccountantFormMasks, StoredDocumentLengthChoosesMask) {
    const struct {
        QString stored;
        bool cpf;
    } cases[] = {
        {QStringLiteral("123.456.789-09"), true},
        {QStringLiteral("12345678909123"), true}, // any 14 characters
        {QStringLiteral("12345678909"), false},
        {QStringLiteral("11.222.333/0001-81"), false},
        {QStringLiteral("123.456.789-0"), false},
        {QString(), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(cpfMaskForStored(c.stored), c.cpf) << c.stored.toStdString();
    EXPECT_EQ(personType(true), PersonType::Fisica);
    EXPECT_EQ(personType(false), PersonType::Juridica);
}

TEST(AccountantFormMasks, FocusCheckJudgesDigitsOnly) {
    const struct {
        QString text;
        bool cpfMask;
        QString expected;
    } cases[] = {
        {QStringLiteral("123.456.789-09"), true, {}},
        {QStringLiteral("123.456.789-08"), true, kMsgCpf},
        {QStringLiteral("123.456.702-4_"), true, {}}, // short, but the focus check has no length
        {QStringLiteral("11.222.333/0001-81"), false, {}},
        {QStringLiteral("11.222.333/0001-80"), false, kMsgCnpj},
        {QStringLiteral("123.456.789-09"), false, kMsgCnpj}, // a CPF under the company mask
    };
    for (const auto& c : cases)
        EXPECT_EQ(documentFocusMessage(c.text, c.cpfMask), c.expected) << c.text.toStdString();
}

TEST(AccountantFormParams, TwelveParametersInOrderWithQuotesDoubled) {
    Fields f = validCompany();
    f.values.cont_razao_nome = QStringLiteral("D'Ávila & <Filhos>");
    f.values.cont_dsc_complemento = QStringLiteral("''");
    const QList<Soap::SoapParam> params = registrationParams(f.values);
    const QList<Soap::SoapParam> expected = {
        {QStringLiteral("thisCont_cpf_cnpj"), QStringLiteral("11.222.333/0001-81")},
        {QStringLiteral("thisCont_num_crc"), QStringLiteral("RJ-012345/O-6")},
        {QStringLiteral("thisCont_razao_nome"), QStringLiteral("D''Ávila & <Filhos>")},
        {QStringLiteral("thisCont_nom_endereco"), QStringLiteral("Rua São João")},
        {QStringLiteral("thisCont_num_endereco"), QStringLiteral("100")},
        {QStringLiteral("thisCont_complemento"), QStringLiteral("''''")},
        {QStringLiteral("thisCont_nom_bairro"), QStringLiteral("Centro")},
        {QStringLiteral("thisCont_nom_cidade"), QStringLiteral("Valdoria")},
        {QStringLiteral("thisCont_nom_estado"), QStringLiteral("RJ")},
        {QStringLiteral("thisCont_num_telefone"), QStringLiteral("____-____")},
        {QStringLiteral("thisCont_num_cep"), QStringLiteral("20000-000")},
        {QStringLiteral("thisCont_email"), QStringLiteral("contato@silva.com.br")},
    };
    ASSERT_EQ(params.size(), expected.size());
    for (qsizetype i = 0; i < params.size(); ++i) {
        EXPECT_EQ(params[i].name, expected[i].name) << i;
        EXPECT_EQ(params[i].value, expected[i].value) << i;
    }
    // The builder escapes the markup characters; the apostrophes stay doubled.
    const QString request = Soap::BuildSoapRequest(kOperation, params);
    EXPECT_TRUE(request.contains(QStringLiteral(
        "<thisCont_razao_nome>D''Ávila &amp; &lt;Filhos&gt;</thisCont_razao_nome>")));
    EXPECT_TRUE(request.contains(QStringLiteral("<Transferencia.contador xmlns=\"\">")));
}

} // namespace
