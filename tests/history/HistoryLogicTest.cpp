// The rules of the transmission list, the receipts and the update notice,
// without a window: fixed positions of the version answer, the server's date,
// the installed version text, list and receipt reading (no document type
// declaration is ever honoured), the status rule and the receipt address.
#include "base/RuntimeError.h"
#include "history/Receipt.h"
#include "history/TransmissionList.h"
#include "history/VersionAnswer.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using namespace History;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

std::string s(const QString& text) {
    return text.toStdString();
}

// A list head laid out as the server lays it out: date at 32-50, working
// years at 59-67, version at 78-97.
QString listHead(const QString& date, const QString& years, const QString& version) {
    return QStringLiteral("<listaTransferencias servidor=\"") + date +
           QStringLiteral("\" anos=\"") + years.leftJustified(9) + QStringLiteral("\" versao=\"") +
           version.leftJustified(20) + QStringLiteral("\">");
}

// ---- fixed positions --------------------------------------------------------

TEST(VersionAnswer, MidCountsFromOneAndStopsAtTheEnd) {
    struct Case {
        const char* text;
        int start;
        int length;
        const char* expected;
    } cases[] = {
        {"abcdef", 1, 3, "abc"}, {"abcdef", 4, 3, "def"}, {"abcdef", 5, 9, "ef"},
        {"abcdef", 7, 2, ""},    {"abcdef", 0, 2, "ab"},  {"abcdef", 2, 0, ""},
        {"", 1, 5, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(s(Mid(QString::fromLatin1(c.text), c.start, c.length)), c.expected)
            << c.text << " " << c.start << " " << c.length;
}

TEST(VersionAnswer, FieldsComeFromTheirPositions) {
    const QString text = listHead(QStringLiteral("2026-12-07 10:15:00"),
                                  QStringLiteral("2025/2026"), QStringLiteral("1.17.00")) +
                         QStringLiteral("</listaTransferencias>");
    const VersionFields f = readVersionFields(text);
    EXPECT_EQ(f.dataServidor, QDateTime(QDate(2026, 12, 7), QTime(10, 15), Qt::LocalTime));
    EXPECT_EQ(s(f.anoTrabalho), "2025/2026");
    EXPECT_EQ(s(f.novaVersao), "1.17.00             ");
}

TEST(VersionAnswer, ShortTextsGiveShortFieldsOrNoDate) {
    const QString head = listHead(QStringLiteral("2026-12-07 10:15:00"), QStringLiteral("2026"),
                                  QStringLiteral("1.17"));
    // Cut inside the version: the version is what there is.
    VersionFields f = readVersionFields(head.left(81));
    EXPECT_EQ(s(f.anoTrabalho), "2026     ");
    EXPECT_EQ(s(f.novaVersao), "1.17");
    // Cut before the years: empty years and version, the date still read.
    f = readVersionFields(head.left(50));
    EXPECT_EQ(s(f.anoTrabalho), "");
    EXPECT_EQ(s(f.novaVersao), "");
    EXPECT_TRUE(f.dataServidor.isValid());
    // Cut inside the date: no date, which is a failure.
    EXPECT_THROW(readVersionFields(head.left(49)), RuntimeError);
    EXPECT_THROW(readVersionFields(QString()), RuntimeError);
}

TEST(VersionAnswer, ServerDateLayouts) {
    const QDateTime expected(QDate(2026, 12, 7), QTime(10, 15, 30), Qt::LocalTime);
    struct Case {
        const char* text;
        bool accepted;
    } cases[] = {
        {"2026-12-07 10:15:30", true},   {"2026-12-07T10:15:30", true},
        {"07/12/2026 10:15:30", true},   {"2026/12/07 10:15:30", false},
        {"07/12/2026T10:15:30", false},  {"2026-13-07 10:15:30", false},
        {"2026-02-30 10:15:30", false},  {"2026-12-07 24:15:30", false},
        {"2026-12-07 10:15:3 ", false},  {" 2026-12-07 10:15:3", false},
        {"2026-12-07 10:15", false},     {"+026-12-07 10:15:30", false},
        {"2026-12-07 10:15:30 ", false}, {"", false},
    };
    for (const Case& c : cases) {
        const auto parsed = parseServerDateTime(QString::fromLatin1(c.text));
        if (!c.accepted) {
            EXPECT_FALSE(parsed.has_value()) << c.text;
            continue;
        }
        ASSERT_TRUE(parsed.has_value()) << c.text;
        EXPECT_EQ(*parsed, expected) << c.text;
    }
    // "12/07/2026" reads as the 12th of July, never as December.
    EXPECT_EQ(parseServerDateTime(QStringLiteral("12/07/2026 10:15:30"))->date(),
              QDate(2026, 7, 12));
}

TEST(VersionAnswer, ServerDateDoesNotDependOnTheRunningLocale) {
    const QLocale before;
    for (const QLocale& locale : {QLocale(QLocale::English, QLocale::UnitedStates),
                                  QLocale(QLocale::Arabic, QLocale::Egypt),
                                  QLocale(QLocale::Portuguese, QLocale::Brazil)}) {
        QLocale::setDefault(locale);
        SCOPED_TRACE(s(locale.name()));
        EXPECT_EQ(parseServerDateTime(QStringLiteral("2026-12-07 10:15:30"))->date(),
                  QDate(2026, 12, 7));
        EXPECT_EQ(parseServerDateTime(QStringLiteral("07/12/2026 10:15:30"))->date(),
                  QDate(2026, 12, 7));
    }
    QLocale::setDefault(before);
}

TEST(VersionAnswer, KeyRejectionAndUpToDate) {
    EXPECT_TRUE(keyRejected(QStringLiteral("<soap><return>CHAVE_INVALIDA</return></soap>")));
    EXPECT_TRUE(keyRejected(QStringLiteral("<fault>CHAVE_INEXISTENTE</fault>")));
    EXPECT_FALSE(keyRejected(QStringLiteral("chave_invalida")));
    EXPECT_FALSE(keyRejected(QStringLiteral("CHAVE_ ")));

    const QString answer = QStringLiteral("<return>versao=\"1.16.01   \"</return>");
    struct Case {
        const char* installed;
        bool upToDate;
    } cases[] = {
        {"1.16.01", true},      {"", true}, {"1.16.01\n", false}, {"1.16.02", false},
        {"1.16.01\r\n", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(isUpToDate(answer, QString::fromLatin1(c.installed)), c.upToDate) << c.installed;
    EXPECT_TRUE(isUpToDate(QStringLiteral("x 1.16.01\r\n y"), QStringLiteral("1.16.01\r\n")));
    EXPECT_EQ(s(newVersionCaption(QStringLiteral("1.17.00"))),
              "Nova atualização disponível para download - versão 1.17.00");
}

TEST(VersionAnswer, InstalledVersionTextIsReadWhole) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    struct Case {
        QByteArray bytes;
        QString expected;
    } cases[] = {
        {QByteArray(), QString()},
        {QByteArray("1.16.01"), QStringLiteral("1.16.01")},
        {QByteArray("1.16.01\r\n"), QStringLiteral("1.16.01\r\n")},
        {QByteArray("1.16.01\n\n"), QStringLiteral("1.16.01\n\n")},
        {QByteArray("\xEF\xBB\xBF"
                    "1.16.01"),
         QStringLiteral("1.16.01")},
        {QByteArray("vers\xC3\xA3o 1"), QStringLiteral("versão 1")},
        {QByteArray("vers\xE3o 1"), QStringLiteral("versão 1")},
    };
    const QString path = QDir(dir.path()).filePath(QStringLiteral("info.dip"));
    for (const Case& c : cases) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(c.bytes);
        f.close();
        EXPECT_EQ(s(readInstalledVersion(path)), s(c.expected)) << c.bytes.toStdString();
    }
    EXPECT_THROW(readInstalledVersion(QDir(dir.path()).filePath(QStringLiteral("nada.dip"))),
                 RuntimeError);
}

// ---- transmission list ------------------------------------------------------

TEST(TransmissionList, SpecialAnswersAndTextsThatAreNoList) {
    struct Case {
        const char* text;
        ListAnswerKind kind;
    } cases[] = {
        {"CHAVE_INVALIDA", ListAnswerKind::InvalidKey},
        {"  chave_invalida \r\n", ListAnswerKind::InvalidKey},
        {"Chave_Invalida", ListAnswerKind::InvalidKey},
        {"CHAVE_INVALIDA_2", ListAnswerKind::AccessDenied},
        {"CHAVE_INEXISTENTE", ListAnswerKind::AccessDenied},
        {"<erro>CHAVE_INEXISTENTE</erro>", ListAnswerKind::AccessDenied},
        {"chave_inexistente", ListAnswerKind::NotXml},
        {"", ListAnswerKind::NotXml},
        {"   ", ListAnswerKind::NotXml},
        {"O servidor caiu", ListAnswerKind::NotXml},
        {"<listaTransferencias><transferencia>", ListAnswerKind::NotXml},
        {"<listaTransferencias/>", ListAnswerKind::Transmissions},
    };
    for (const Case& c : cases) {
        const ListAnswer a = readTransmissionList(QString::fromUtf8(c.text));
        EXPECT_EQ(a.kind, c.kind) << c.text;
        EXPECT_THAT(a.rows, IsEmpty()) << c.text;
        if (c.kind == ListAnswerKind::NotXml) {
            EXPECT_THAT(s(a.reason), Not(IsEmpty())) << c.text;
        }
    }
}

TEST(TransmissionList, RowsInOrderWithTheirColumns) {
    const QString text =
        listHead(QStringLiteral("2026-12-07 10:15:00"), QStringLiteral("2025/2026"),
                 QStringLiteral("1.16.01")) +
        QStringLiteral(
            "<transferencia><referencia>03/2014, 04/2014</referencia><data>07/12/2026 "
            "10:15:00</data><protocolo>20261207000001</protocolo><status>3</status>"
            "<adicionado>1.234,56</adicionado></transferencia>"
            // Order of the children does not matter; unknown ones are ignored.
            "<transferencia><status>2</status><extra>x</extra><referencia>05/2014 &amp; "
            "ajuste</referencia></transferencia>"
            // A transmission without children still makes a row.
            "<transferencia/>"
            // The later of two equal children wins.
            "<transferencia><data>a</data><data>b</data></transferencia>"
            // Only children of the document element count.
            "<grupo><transferencia><referencia>escondida</referencia></transferencia></grupo>"
            "</listaTransferencias>");
    const ListAnswer a = readTransmissionList(text);
    ASSERT_EQ(a.kind, ListAnswerKind::Transmissions);
    EXPECT_FALSE(a.pending);
    ASSERT_EQ(a.rows.size(), 4);
    EXPECT_THAT(a.rows[0],
                ElementsAre(QStringLiteral("03/2014, 04/2014"),
                            QStringLiteral("07/12/2026 10:15:00"), QStringLiteral("20261207000001"),
                            QStringLiteral("3"), QStringLiteral("1.234,56")));
    EXPECT_THAT(a.rows[1], ElementsAre(QStringLiteral("05/2014 & ajuste"), QString(), QString(),
                                       QStringLiteral("2"), QString()));
    EXPECT_THAT(a.rows[2], ElementsAre(QString(), QString(), QString(), QString(), QString()));
    EXPECT_EQ(s(a.rows[3][ColData]), "b");
}

TEST(TransmissionList, OtherDocumentsAreEmptyLists) {
    for (const char* text : {"<outra><transferencia><referencia>1/2014</referencia>"
                             "</transferencia></outra>",
                             "<ns:listaTransferencias xmlns:ns=\"urn:x\"><transferencia>"
                             "<referencia>1/2014</referencia></transferencia>"
                             "</ns:listaTransferencias>"}) {
        const ListAnswer a = readTransmissionList(QString::fromLatin1(text));
        EXPECT_EQ(a.kind, ListAnswerKind::Transmissions) << text;
        EXPECT_THAT(a.rows, IsEmpty()) << text;
    }
}

TEST(TransmissionList, PendingOnlyForTheExactReference) {
    struct Case {
        const char* referencias[2];
        bool pending;
    } cases[] = {
        {{"Verificando", "Verificando"}, true},  {{"03/2014", "Verificando"}, true},
        {{"verificando", "VERIFICANDO"}, false}, {{" Verificando", "Verificando "}, false},
        {{"03/2014", "04/2014"}, false},
    };
    for (const Case& c : cases) {
        QString text = QStringLiteral("<listaTransferencias>");
        for (const char* r : c.referencias)
            text += QStringLiteral("<transferencia><referencia>") + QString::fromLatin1(r) +
                    QStringLiteral("</referencia><status>1</status></transferencia>");
        text += QStringLiteral("</listaTransferencias>");
        const ListAnswer a = readTransmissionList(text);
        EXPECT_EQ(a.pending, c.pending) << c.referencias[0] << "|" << c.referencias[1];
        EXPECT_EQ(a.rows.size(), 2);
    }
}

TEST(TransmissionList, DocumentTypeDeclarationsAreNeverHonoured) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString secretPath = QDir(dir.path()).filePath(QStringLiteral("segredo.txt"));
    QFile secret(secretPath);
    ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
    secret.write("SEGREDO-LOCAL");
    secret.close();

    const QString external =
        QStringLiteral("<!DOCTYPE listaTransferencias [<!ENTITY x SYSTEM \"file://") + secretPath +
        QStringLiteral("\">]><listaTransferencias><transferencia><referencia>&x;</referencia>"
                       "</transferencia></listaTransferencias>");
    const QString internal = QStringLiteral(
        "<!DOCTYPE l [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">]>"
        "<listaTransferencias><transferencia><referencia>&b;</referencia></transferencia>"
        "</listaTransferencias>");
    for (const QString& text : {external, internal}) {
        const ListAnswer a = readTransmissionList(text);
        EXPECT_EQ(a.kind, ListAnswerKind::NotXml);
        EXPECT_THAT(a.rows, IsEmpty());
        EXPECT_THAT(s(a.reason), HasSubstr("DOCTYPE"));
    }
}

TEST(HistoryReaders, RefuseDocumentsNestedBeyondTheLimit) {
    const auto nested = [](const QString& root, const QString& leaf, int depth) {
        return QLatin1Char('<') + root + QLatin1Char('>') +
               QStringLiteral("<n>").repeated(depth - 2) + leaf +
               QStringLiteral("</n>").repeated(depth - 2) + QStringLiteral("</") + root +
               QLatin1Char('>');
    };
    const QString leaf = QStringLiteral("<x>1</x>");
    for (const int depth : {65, 100000}) {
        const ListAnswer list =
            readTransmissionList(nested(QStringLiteral("listaTransferencias"), leaf, depth));
        EXPECT_EQ(list.kind, ListAnswerKind::NotXml) << depth;
        EXPECT_THAT(s(list.reason), HasSubstr("aninhados")) << depth;
        const ReceiptDocument receipt = readReceipt(nested(QStringLiteral("recibo"), leaf, depth));
        EXPECT_FALSE(receipt.wellFormed) << depth;
        EXPECT_THAT(s(receipt.reason), HasSubstr("aninhados")) << depth;
    }
    EXPECT_EQ(readTransmissionList(nested(QStringLiteral("listaTransferencias"), leaf, 64)).kind,
              ListAnswerKind::Transmissions);
    EXPECT_TRUE(readReceipt(nested(QStringLiteral("recibo"), leaf, 64)).wellFormed);
}

TEST(TransmissionList, StatusDecidesWhatAClickDoes) {
    struct Case {
        const char* status;
        DetailAction action;
    } cases[] = {
        {"3", DetailAction::FetchReceipt},    {"1", DetailAction::HideOkAndTree},
        {" 1 ", DetailAction::HideOkAndTree}, {"01", DetailAction::HideOkAndTree},
        {"+1", DetailAction::HideOkAndTree},  {"2", DetailAction::HideAll},
        {"03", DetailAction::HideAll},        {" 3", DetailAction::HideAll},
        {"-1", DetailAction::HideAll},        {"0", DetailAction::HideAll},
    };
    for (const Case& c : cases)
        EXPECT_EQ(detailActionForStatus(QString::fromLatin1(c.status)), c.action) << c.status;
    for (const char* bad : {"", " ", "três", "1.5", "1a", "Verificando"})
        EXPECT_THROW(detailActionForStatus(QString::fromUtf8(bad)), RuntimeError) << bad;
}

// ---- receipts ---------------------------------------------------------------

TEST(Receipt, ItemsWithTheirDetailAndChildren) {
    const ReceiptDocument r = readReceipt(QStringLiteral(
        "<ns:recibo xmlns:ns=\"urn:valdoria\">"
        "<entrega><DETALHE>Declaração recebida</DETALHE><protocolo>20140401000001</protocolo>"
        "<arquivo>gia<b>2014</b>.zip</arquivo></entrega>"
        "texto solto"
        "<contador><nome>Maria</nome><DETALHE>abc</DETALHE></contador>"
        "<vazio/>"
        "</ns:recibo>"));
    ASSERT_TRUE(r.wellFormed) << s(r.reason);
    EXPECT_EQ(s(r.rootName), "recibo");
    ASSERT_EQ(r.items.size(), 3);
    EXPECT_EQ(s(r.items[0].name), "entrega");
    EXPECT_EQ(r.items[0].detalhe, QStringLiteral("Declaração recebida"));
    EXPECT_THAT(r.items[0].childTexts,
                ElementsAre(QStringLiteral("Declaração recebida"), QStringLiteral("20140401000001"),
                            QStringLiteral("gia2014.zip")));
    EXPECT_EQ(r.items[1].detalhe, QStringLiteral("abc"));
    EXPECT_THAT(r.items[1].childTexts, ElementsAre(QStringLiteral("Maria"), QStringLiteral("abc")));
    EXPECT_FALSE(r.items[2].detalhe.has_value());
    EXPECT_THAT(r.items[2].childTexts, IsEmpty());
}

TEST(Receipt, MalformedTextsGiveTheParsersReason) {
    for (const char* text :
         {"", "PROTOCOLO_INEXISTENTE", "<recibo><entrega></recibo>", "<recibo/><outro/>"}) {
        const ReceiptDocument r = readReceipt(QString::fromLatin1(text));
        EXPECT_FALSE(r.wellFormed) << text;
        EXPECT_THAT(s(r.reason), Not(IsEmpty())) << text;
        EXPECT_THAT(r.items, IsEmpty()) << text;
    }
}

TEST(Receipt, ExternalReferencesAreNeverFetched) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString secretPath = QDir(dir.path()).filePath(QStringLiteral("segredo.txt"));
    QFile secret(secretPath);
    ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
    secret.write("SEGREDO-LOCAL");
    secret.close();
    const ReceiptDocument r = readReceipt(
        QStringLiteral("<?xml version=\"1.0\"?><!-- recibo --><!DOCTYPE recibo [<!ENTITY x "
                       "SYSTEM \"file://") +
        secretPath +
        QStringLiteral("\">]><recibo><entrega><DETALHE>&x;</DETALHE></entrega></recibo>"));
    EXPECT_FALSE(r.wellFormed);
    EXPECT_THAT(s(r.reason), HasSubstr("DOCTYPE"));
    EXPECT_THAT(s(r.reason), Not(HasSubstr("SEGREDO")));
    EXPECT_THAT(r.items, IsEmpty());
}

TEST(Receipt, NodeTextRule) {
    struct Case {
        const char* name;
        const char* detalhe;
        const char* expected;
    } cases[] = {
        {"entrega", "abcd", "entrega: abcd"},
        {"entrega", "abc", "DADAV : abc"},
        {"entrega", "São", "DADAV : São"}, // three characters, not three bytes
        {"entrega", "Joã", "DADAV : Joã"},
        {"entrega", "João", "entrega: João"},
        {"entrega", "", "DADAV : "},
        {"ns:item", "Valor adicionado", "ns:item: Valor adicionado"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(s(itemNodeText(QString::fromUtf8(c.name), QString::fromUtf8(c.detalhe))),
                  c.expected);
}

TEST(Receipt, LinkAndDeliverySelection) {
    EXPECT_EQ(s(receiptLink(QStringLiteral("www.valdoria.rj.gov.br"), QStringLiteral("78045302"),
                            QStringLiteral("A7K2M9QX"), QStringLiteral(" 03/2014 , 04/2014 "))),
              "http://www.valdoria.rj.gov.br/protocoloDown.php?IE=78045302&key=A7K2M9QX&ref="
              "03/2014,04/2014");
    // Nothing is encoded: the server reads the values as they are written.
    EXPECT_EQ(s(receiptLink(QStringLiteral("127.0.0.1"), QStringLiteral("7804530-2"),
                            QStringLiteral("K&Y"), QStringLiteral("3/2014 ajuste"))),
              "http://127.0.0.1/protocoloDown.php?IE=7804530-2&key=K&Y&ref=3/2014ajuste");
    EXPECT_TRUE(isDeliveryReference(QStringLiteral("03/2014")));
    EXPECT_FALSE(isDeliveryReference(QStringLiteral("Verificando")));
    EXPECT_FALSE(isDeliveryReference(QString()));
}

} // namespace
