// Overview rows from the list answers the server gives (built by the
// simulator's own answer writer), and the CSV bytes spreadsheets open.
#include "overview/OverviewRow.h"
#include "overview/CsvTable.h"

#include "simulator/Answers.h"

#include <gtest/gtest.h>

namespace {

using namespace Overview;

QString answer(const std::string& returnText) {
    return QString::fromStdString(valdoria::soapResponse("Transferencia.ver2", returnText));
}

QString list(const std::vector<valdoria::Transmission>& rows,
             const std::string& serverDate = "2014-05-10 09:00:00") {
    return answer(valdoria::listXml(serverDate, "2013/2014", "1.16.01", rows));
}

valdoria::Transmission processed(const std::string& ref, const std::string& protocolo) {
    valdoria::Transmission t;
    t.referencia = ref;
    t.data = "10/04/2014 10:00:00";
    t.protocolo = protocolo;
    t.status = "3";
    return t;
}

valdoria::Transmission pending() {
    valdoria::Transmission t;
    t.referencia = "Verificando";
    t.status = "1";
    return t;
}

TEST(OverviewRow, ReadsEachKindOfListAnswer) {
    ContribuinteRow taxpayer{QStringLiteral("86123452"),
                             QStringLiteral("Empresa A"),
                             QString(),
                             QString(),
                             QStringLiteral("Z3P8W1RT"),
                             QString(),
                             false};
    struct Case {
        const char* what;
        QString answer;
        QString ultima, status, protocolo, pendentes, meses, situacao;
    };
    const Case cases[] = {
        {"latest reference wins, whatever the order",
         list({processed("03/2014, 04/2014", "P2"), processed("01/2014", "P1")}),
         QStringLiteral("03/2014, 04/2014"),
         QStringLiteral("3"),
         QStringLiteral("P2"),
         {},
         QStringLiteral("02 (2014)"),
         kDone},
        {"pending ones counted", list({pending(), processed("01/2014", "P1"), pending()}),
         QStringLiteral("01/2014"), QStringLiteral("3"), QStringLiteral("P1"),
         QStringLiteral("Verificando (2)"), QStringLiteral("02, 03, 04 (2014)"), kDone},
        {"nothing sent yet",
         list({}, "2014-02-01 08:00:00"),
         {},
         {},
         {},
         {},
         QStringLiteral("01 (2014)"),
         kDone},
        {"invalid key", answer("  chave_invalida "), {}, {}, {}, {}, {}, kInvalidKey},
        // Read as the main window reads them: only the exact invalid-key answer
        // is an invalid key; a blocked company's is denied access.
        {"access denied", answer("CHAVE_INEXISTENTE"), {}, {}, {}, {}, {}, kDenied},
        {"blocked company", answer("<erro>CHAVE_INATIVA</erro>"), {}, {}, {}, {}, {}, kDenied},
        {"no list",
         answer("<html>erro"),
         {},
         {},
         {},
         {},
         {},
         QStringLiteral("Falha: resposta do servidor ilegível")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Row row = withAnswer(initialRow(taxpayer, std::nullopt), c.answer);
        EXPECT_EQ(row.cells[ColIE], QStringLiteral("86123452"));
        EXPECT_EQ(row.cells[ColChave], QStringLiteral("Sim"));
        EXPECT_EQ(row.cells[ColSimples], QStringLiteral("Não"));
        EXPECT_EQ(row.cells[ColUltimaReferencia], c.ultima);
        EXPECT_EQ(row.cells[ColStatus], c.status);
        EXPECT_EQ(row.cells[ColProtocolo], c.protocolo);
        EXPECT_EQ(row.cells[ColPendentes], c.pendentes);
        EXPECT_EQ(row.cells[ColMesesSemEnvio], c.meses);
        EXPECT_EQ(row.cells[ColSituacao], c.situacao);
        EXPECT_EQ(row.cells[ColCertificado], QString());
    }

    taxpayer.Chave.clear();
    taxpayer.OptanteSimples.reset();
    const Row noKey = initialRow(taxpayer, 42);
    EXPECT_FALSE(noKey.hasKey);
    EXPECT_EQ(noKey.cells[ColChave], QStringLiteral("Não"));
    EXPECT_EQ(noKey.cells[ColSimples], QString());
    EXPECT_EQ(noKey.cells[ColCertificado], QStringLiteral("42"));
    EXPECT_EQ(noKey.cells[ColSituacao], kNoKey);
    EXPECT_EQ(withFailure(noKey, QStringLiteral("Connection refused")).cells[ColSituacao],
              QStringLiteral("Falha: Connection refused"));
}

TEST(CsvTable, Utf8WithBomSemicolonsAndQuotesWhereNeeded) {
    const QByteArray csv =
        CsvTable::write({QStringLiteral("IE"), QStringLiteral("Razão social")},
                        {{QStringLiteral("86123452"), QStringLiteral("Padaria; Café \"Bom\"")},
                         {QStringLiteral("007"), QStringLiteral("=HYPERLINK(\"x\")")},
                         {QStringLiteral("1"), QStringLiteral("linha\nnova ")},
                         // Every start a spreadsheet takes for a formula, in any column.
                         {QStringLiteral("-2+3+cmd|' /C calc'!A0"), QStringLiteral("+1")},
                         {QStringLiteral("@SOMA(A1)"), QStringLiteral("\t=1")},
                         {QStringLiteral("\r=1"), QStringLiteral("a-b=c")}});
    EXPECT_EQ(csv, QByteArray("\xEF\xBB\xBFIE;Raz\xC3\xA3o social\r\n"
                              "86123452;\"Padaria; Caf\xC3\xA9 \"\"Bom\"\"\"\r\n"
                              "007;\"'=HYPERLINK(\"\"x\"\")\"\r\n"
                              "1;\"linha\nnova \"\r\n"
                              "'-2+3+cmd|' /C calc'!A0;'+1\r\n"
                              "'@SOMA(A1);'\t=1\r\n"
                              "\"'\r=1\";a-b=c\r\n"));
}

} // namespace
