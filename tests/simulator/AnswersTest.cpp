// The texts the simulator answers, read the way the client reads them:
// well-formed XML (Qt's DOM) and fixed character positions counted from 1.
#include "simulator/Answers.h"
#include "simulator/SimplesCheck.h"

#include <QDomDocument>
#include <QString>

#include <gtest/gtest.h>

namespace valdoria {
namespace {

// Characters `from` to `to` (1-based, inclusive), as the client cuts them.
QString chars(const std::string& text, int from, int to) {
    return QString::fromStdString(text).mid(from - 1, to - from + 1);
}

TEST(ListXml, HoldsHeaderFieldsAtTheirPositionsAndStaysXml) {
    Transmission pending;
    pending.referencia = "Verificando";
    pending.status = "1";
    Transmission done;
    done.referencia = "03/2014";
    done.data = "07/12/2026 10:00:00";
    done.protocolo = "20261207000001";
    done.status = "3";
    done.adicionado = "1.234,56";

    struct Case {
        std::string years;
        std::string version;
        QString shownYears;
        QString shownVersion;
    };
    const Case cases[] = {
        {"2025/2026", "1.16.01", "2025/2026", "1.16.01             "},
        {"2014", "12345678901234567890", "2014     ", "12345678901234567890"},
        {"", "", "         ", "                    "},
    };
    for (const auto& c : cases) {
        auto text = listXml("2026-12-07 08:30:15", c.years, c.version, {pending, done});
        EXPECT_EQ(chars(text, 32, 50), "2026-12-07 08:30:15") << text;
        EXPECT_EQ(chars(text, 59, 67), c.shownYears) << text;
        EXPECT_EQ(chars(text, 78, 97), c.shownVersion) << text;

        QDomDocument doc;
        ASSERT_TRUE(doc.setContent(QString::fromStdString(text))) << text;
        EXPECT_EQ(doc.documentElement().tagName(), "listaTransferencias");
        auto rows = doc.documentElement().elementsByTagName("transferencia");
        ASSERT_EQ(rows.size(), 2);
        auto second = rows.at(1).toElement();
        EXPECT_EQ(second.firstChildElement("referencia").text(), "03/2014");
        EXPECT_EQ(second.firstChildElement("data").text(), "07/12/2026 10:00:00");
        EXPECT_EQ(second.firstChildElement("protocolo").text(), "20261207000001");
        EXPECT_EQ(second.firstChildElement("status").text(), "3");
        EXPECT_EQ(second.firstChildElement("adicionado").text(), "1.234,56");
        EXPECT_EQ(QString::fromStdString(text).indexOf("CHAVE_I"), -1);
    }
}

TEST(ListXml, RefusesHeaderFieldsThatWouldShiftPositions) {
    const std::pair<const char*, const char*> cases[] = {
        {"2024/2025/2026", "1.0"}, {"2025", "123456789012345678901"}, {"2025&2026", "1.0"},
        {"2025", "1.0 \"beta\""},  {"2025", "vers\xC3\xA3o"},
    };
    for (const auto& [years, version] : cases) {
        EXPECT_THROW(listXml("2026-12-07 08:30:15", years, version, {}), FieldError) << version;
    }
}

TEST(EcnpjRecord, PlacesDateFlagAndKey) {
    Company simples{"78045302", "11222333000181", "Padaria", true, "A7K2M9QX"};
    Company other{"86123452", "04567891000113", "Loja", false, "Z3P8W1RT"};
    auto a = ecnpjRecord(simples, "2026-12-07 08:30:15");
    EXPECT_EQ(chars(a, 21, 39), "2026-12-07 08:30:15");
    EXPECT_EQ(chars(a, 51, 51), "S");
    EXPECT_EQ(chars(a, 61, 68), "A7K2M9QX");
    auto b = ecnpjRecord(other, "2026-12-07 08:30:15");
    EXPECT_EQ(chars(b, 51, 51), "N");
    EXPECT_EQ(chars(b, 61, 68), "Z3P8W1RT");
    EXPECT_EQ(a.find("NAO_AUTORIZADO"), std::string::npos);
}

TEST(ReceiptXml, EveryItemHasADetailAndTextChildren) {
    Transmission t;
    t.protocolo = "20261207000001";
    t.referencia = "03/2014, 04/2014";
    t.status = "3";
    t.adicionado = "1,00";
    t.contador = "123.456.789-09";
    Company company{"77310088", "27891543000100", "Restaurante Açaí & Cia Ltda", true, "K", false};
    UploadRecord upload;
    upload.kind = "declaracao";
    upload.fileName = "<backup>.zip";
    upload.sha256 = "ab";
    const UploadRecord* variants[] = {&upload, nullptr};
    for (const UploadRecord* u : variants) {
        auto text = receiptXml(t, company, u, {{"thisCont_razao_nome", "Márcia & Filhos"}});
        QDomDocument doc;
        ASSERT_TRUE(doc.setContent(QString::fromStdString(text))) << text;
        auto items = doc.documentElement().childNodes();
        ASSERT_GE(items.size(), 3);
        for (int i = 0; i < items.size(); ++i) {
            auto item = items.at(i).toElement();
            auto detail = item.firstChildElement("DETALHE");
            ASSERT_FALSE(detail.isNull()) << item.tagName().toStdString();
            EXPECT_GT(detail.text().size(), 3);
            for (auto c = item.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
                EXPECT_TRUE(c.firstChildElement().isNull()) << "only text below an item";
            }
        }
        EXPECT_EQ(doc.documentElement()
                      .firstChildElement("contribuinte")
                      .firstChildElement("DETALHE")
                      .text(),
                  QString::fromUtf8("Restaurante Açaí & Cia Ltda"));
    }
}

TEST(ReceiptPage, EscapesEveryValue) {
    Transmission t;
    t.referencia = "<script>alert(1)</script>";
    t.protocolo = "\"quoted\"";
    Company company{"1", "2", "A & B <Ltda>", false, "K", false};
    UploadRecord upload;
    upload.fileName = "x'y.zip";
    auto page = receiptPage(t, company, &upload);
    EXPECT_EQ(page.find("<script>"), std::string::npos);
    EXPECT_NE(page.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
    EXPECT_NE(page.find("A &amp; B &lt;Ltda&gt;"), std::string::npos);
    EXPECT_NE(page.find("&quot;quoted&quot;"), std::string::npos);
    EXPECT_NE(page.find("x&#39;y.zip"), std::string::npos);

    auto missing = receiptNotFoundPage("<i>", "k&", "\"r\"");
    EXPECT_EQ(missing.find("<i>"), std::string::npos);
    EXPECT_NE(missing.find("&lt;i&gt;"), std::string::npos);
    EXPECT_NE(missing.find("k&amp;"), std::string::npos);
}

TEST(SoapResponse, PutsReturnAtDepthFourEscaped) {
    auto text = soapResponse("Transferencia.ver2", "<a>&</a>");
    QDomDocument doc;
    ASSERT_TRUE(doc.setContent(QString::fromStdString(text)));
    auto ret = doc.documentElement().firstChildElement().firstChildElement().firstChildElement();
    EXPECT_EQ(ret.tagName(), "return");
    EXPECT_EQ(ret.text(), "<a>&</a>");
    EXPECT_EQ(ret.parentNode().toElement().tagName(), "ns:Transferencia.ver2Response");
}

TEST(ReferenceLabel, ShowsMonthAndYearOrRefuses) {
    EXPECT_EQ(referenceLabel(""), "");
    EXPECT_EQ(referenceLabel("3_2014"), "03/2014");
    EXPECT_EQ(referenceLabel("3_2014,12_2013,1_2014"), "03/2014, 12/2013, 01/2014");
    for (const char* bad : {"13_2014", "0_2014", "3_14", "3-2014", "3_2014,", ",3_2014", "a_2014",
                            "003_2014", "3_20145", "_2014"}) {
        EXPECT_THROW(referenceLabel(bad), FieldError) << bad;
    }
}

TEST(ValueAdded, IsFormattedInBrazilianStyle) {
    EXPECT_EQ(valueAddedFrom(""), "0,00");
    EXPECT_EQ(valueAddedFrom("000000000001"), "0,01");
    EXPECT_EQ(valueAddedFrom("0000000186a0"), "1.000,00"); // 100000 cents
    EXPECT_EQ(valueAddedFrom("00000bebc200"), "2.000.000,00");
}

TEST(SimplesVerdict, JudgesTypeMarkerAndEnding) {
    struct Case {
        std::string file;
        const char* verdict;
    };
    const Case cases[] = {
        {"%PDF-1.4 PGDAS extrato\n%%EOF", ""},
        {"%PDF-1.4 PGDAS extrato\n%%EOF\n", ""},
        {"%PDF-1.4 PGDAS extrato\n%%EOF\r\n", ""},
        {"PK\x03\x04 PGDAS %%EOF", "ARQUIVO INVALIDO - EXTRATO"},
        {"", "ARQUIVO INVALIDO - EXTRATO"},
        {"%PDF-1.4 recibo qualquer\n%%EOF", "ARQUIVO INVALIDO - RECIBO"},
        {"%PDF-1.4 PGDAS\n%%EOF\nappended", "ARQUIVO INVALIDO - MODIFICADO"},
        {"%PDF-1.4 PGDAS\n%%EOF\n\n", "ARQUIVO INVALIDO - MODIFICADO"},
        {"%PDF-1.4 PGDAS\n%%EOF\nxref again\n%%EOF\n", "ARQUIVO INVALIDO - MODIFICADO"},
        {"%PDF-1.4 PGDAS without end", "ARQUIVO INVALIDO - MODIFICADO"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(simplesVerdict(c.file), c.verdict) << c.file;
    }
}

} // namespace
} // namespace valdoria
