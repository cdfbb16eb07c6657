// SOAP request text of each operation the client calls, character for
// character, and the depth-four "return" lookup on the answers it may meet.
#include "net/SoapEnvelope.h"

#include <QDomDocument>

#include <gtest/gtest.h>

namespace {

using Soap::SoapParam;

// The head every request starts with and the tail it ends with.
const char* const kHead =
    R"(<?xml version="1.0" encoding="utf-8"?><soap12:Envelope xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" xmlns:xsd="http://www.w3.org/2001/XMLSchema" xmlns:soap12="http://www.w3.org/2003/05/soap-envelope"> <soap12:Body>)";
const char* const kTail = "</soap12:Body></soap12:Envelope>";

struct RequestCase {
    QString operation;
    QList<SoapParam> params;
    const char* body; // what lies between head and tail
};

TEST(BuildSoapRequest, EachOperationIsSentExactly) {
    const RequestCase cases[] = {
        {QStringLiteral("Transferencia.ver2"),
         {{QStringLiteral("strNome"), QStringLiteral("77123456")},
          {QStringLiteral("strDiretorioDestino"), QStringLiteral("vbs")},
          {QStringLiteral("Chave"), QStringLiteral("AB12CD34")}},
         R"(<Transferencia.ver2 xmlns=""><strNome>77123456</strNome><strDiretorioDestino>vbs</strDiretorioDestino><Chave>AB12CD34</Chave></Transferencia.ver2>)"},
        {QStringLiteral("Transferencia.ver"),
         {{QStringLiteral("strNome"), QStringLiteral("2014000123")},
          {QStringLiteral("strDiretorioDestino"), QStringLiteral("vbs")},
          {QStringLiteral("Chave"), QStringLiteral("AB12CD34")}},
         R"(<Transferencia.ver xmlns=""><strNome>2014000123</strNome><strDiretorioDestino>vbs</strDiretorioDestino><Chave>AB12CD34</Chave></Transferencia.ver>)"},
        {QStringLiteral("Transferencia.ecnpj"),
         {{QStringLiteral("ie"), QStringLiteral("77123456")},
          {QStringLiteral("cnpj"), QStringLiteral("11222333000181")},
          {QStringLiteral("key"), QStringLiteral("k3y")}},
         R"(<Transferencia.ecnpj xmlns=""><ie>77123456</ie><cnpj>11222333000181</cnpj><key>k3y</key></Transferencia.ecnpj>)"},
        {QStringLiteral("Transferencia.contador"),
         {{QStringLiteral("thisCont_cpf_cnpj"), QStringLiteral("11.222.333/0001-81")},
          {QStringLiteral("thisCont_num_crc"), QStringLiteral("RJ-012345/O-6")},
          {QStringLiteral("thisCont_razao_nome"), QStringLiteral("Silva & Souza <Contábil>")},
          {QStringLiteral("thisCont_nom_endereco"), QStringLiteral("Rua São João")},
          {QStringLiteral("thisCont_num_endereco"), QStringLiteral("100")},
          {QStringLiteral("thisCont_complemento"), QString()},
          {QStringLiteral("thisCont_nom_bairro"), QStringLiteral("Centro")},
          {QStringLiteral("thisCont_nom_cidade"), QStringLiteral("Valdoria")},
          {QStringLiteral("thisCont_nom_estado"), QStringLiteral("RJ")},
          {QStringLiteral("thisCont_num_telefone"), QStringLiteral("(21) 2222-3333")},
          {QStringLiteral("thisCont_num_cep"), QStringLiteral("20000-000")},
          {QStringLiteral("thisCont_email"), QStringLiteral("a'b\"c@x.br")}},
         R"(<Transferencia.contador xmlns=""><thisCont_cpf_cnpj>11.222.333/0001-81</thisCont_cpf_cnpj><thisCont_num_crc>RJ-012345/O-6</thisCont_num_crc><thisCont_razao_nome>Silva &amp; Souza &lt;Contábil&gt;</thisCont_razao_nome><thisCont_nom_endereco>Rua São João</thisCont_nom_endereco><thisCont_num_endereco>100</thisCont_num_endereco><thisCont_complemento></thisCont_complemento><thisCont_nom_bairro>Centro</thisCont_nom_bairro><thisCont_nom_cidade>Valdoria</thisCont_nom_cidade><thisCont_nom_estado>RJ</thisCont_nom_estado><thisCont_num_telefone>(21) 2222-3333</thisCont_num_telefone><thisCont_num_cep>20000-000</thisCont_num_cep><thisCont_email>a'b"c@x.br</thisCont_email></Transferencia.contador>)"},
        // No parameters: still a start tag and an end tag.
        {QStringLiteral("Op"), {}, R"(<Op xmlns=""></Op>)"},
    };
    for (const RequestCase& c : cases) {
        const QString request = Soap::BuildSoapRequest(c.operation, c.params);
        EXPECT_EQ(request,
                  QString::fromUtf8(kHead) + QString::fromUtf8(c.body) + QString::fromUtf8(kTail))
            << c.operation.toStdString();
        // The escaped values keep the envelope well-formed.
        QDomDocument doc;
        EXPECT_TRUE(doc.setContent(request, true)) << c.operation.toStdString();
    }
}

TEST(GenerateSoapParameter, EscapesOnlyAmpersandAndAngleBrackets) {
    EXPECT_EQ(Soap::GenerateSoapParameter(QStringLiteral("p"), QStringLiteral("a&b<c>d&amp;'\"")),
              QStringLiteral("<p>a&amp;b&lt;c&gt;d&amp;amp;'\"</p>"));
}

const char* const kAnswerTemplate =
    R"(<?xml version="1.0" encoding="UTF-8"?><SOAP-ENV:Envelope xmlns:SOAP-ENV="http://www.w3.org/2003/05/soap-envelope" xmlns:ns1="urn:valdoria"><SOAP-ENV:Body><ns1:Transferencia.ver2Response>%1</ns1:Transferencia.ver2Response></SOAP-ENV:Body></SOAP-ENV:Envelope>)";

QString answerWith(const char* inner) {
    return QString::fromUtf8(kAnswerTemplate).arg(QString::fromUtf8(inner));
}

struct ResultCase {
    const char* label;
    QString response;
    const char* expected;
};

TEST(GetResult, ReadsReturnAtDepthFourOnly) {
    const ResultCase cases[] = {
        {"typical answer", answerWith(R"(<return xsi:type="xsd:string">OK 1&amp;2</return>)"),
         "OK 1&2"},
        {"escaped XML inside return",
         answerWith("<return>&lt;lista&gt;&lt;t ref=\"3_2014\"/&gt;&lt;/lista&gt;</return>"),
         R"(<lista><t ref="3_2014"/></lista>)"},
        {"CDATA and child elements concatenate",
         answerWith("<return><![CDATA[a<b]]><x>c</x>d</return>"), "a<bcd"},
        {"first match wins", answerWith("<return>one</return><return>two</return>"), "one"},
        {"empty return", answerWith("<return/>"), ""},
        {"any names above return",
         QStringLiteral("<a><b/><c><d/><e><return>deep4</return></e></c></a>"), "deep4"},
        {"default namespace on ancestor",
         QStringLiteral(R"(<E xmlns="urn:x"><B><R><return>ns</return></R></B></E>)"), "ns"},
        {"depth three", QStringLiteral("<E><B><return>3</return></B></E>"), ""},
        {"depth five", answerWith("<wrap><return>5</return></wrap>"), ""},
        {"prefixed return", answerWith("<ns1:return>p</ns1:return>"), ""},
        {"other element name", answerWith("<result>r</result>"), ""},
        {"empty body", QString(), ""},
        {"blank body", QStringLiteral("   "), ""},
        {"not XML", QStringLiteral("<html><body>500 Internal Server Error"), ""},
        {"plain text", QStringLiteral("Service Unavailable"), ""},
        {"two roots", QStringLiteral("<a><b><c><return>x</return></c></b></a><a/>"), ""},
    };
    for (const ResultCase& c : cases)
        EXPECT_EQ(Soap::GetResult(c.response, QStringLiteral("return")),
                  QString::fromUtf8(c.expected))
            << c.label;
}

TEST(GetResult, OtherResultNamesAndEmptyName) {
    const QString answer = answerWith("<chave>AB12CD34</chave><return>r</return>");
    EXPECT_EQ(Soap::GetResult(answer, QStringLiteral("chave")), QStringLiteral("AB12CD34"));
    EXPECT_EQ(Soap::GetResult(answer, QString()), QString());
}

TEST(GetResult, NeverExpandsEntitiesFromADocumentTypeDeclaration) {
    // An answer that defines entities is refused whole: neither the internal
    // nor the external one reaches the result, and no file is read.
    const char* const answers[] = {
        R"(<?xml version="1.0"?><!DOCTYPE E [<!ENTITY secret "INTERNAL-EXPANDED">]><E><B><R><return>&secret;</return></R></B></E>)",
        R"(<?xml version="1.0"?><!DOCTYPE E [<!ENTITY ext SYSTEM "file:///etc/hostname">]><E><B><R><return>x&ext;y</return></R></B></E>)",
        R"(<!DOCTYPE E SYSTEM "http://127.0.0.1:1/evil.dtd"><E><B><R><return>dtd</return></R></B></E>)",
        R"(<!DOCTYPE E [<!ENTITY a "aaaaaaaaaa"><!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;"><!ENTITY c "&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;">]><E><B><R><return>&c;</return></R></B></E>)",
    };
    for (const char* answer : answers)
        EXPECT_EQ(Soap::GetResult(QString::fromUtf8(answer), QStringLiteral("return")), QString())
            << answer;
}

// An answer whose "return" holds elements nested so that the deepest one
// stands at `depth`, counting the document element as 1.
QString answerNestedTo(int depth) {
    const int inner = depth - 4; // Envelope, Body, response, return
    return answerWith((QStringLiteral("<return>v") + QStringLiteral("<n>").repeated(inner) +
                       QStringLiteral("</n>").repeated(inner) + QStringLiteral("</return>"))
                          .toUtf8()
                          .constData());
}

TEST(GetResult, RefusesAnswersNestedBeyondTheLimitBeforeBuildingThem) {
    EXPECT_EQ(Soap::GetResult(answerNestedTo(64), QStringLiteral("return")), QStringLiteral("v"));
    EXPECT_EQ(Soap::GetResult(answerNestedTo(65), QStringLiteral("return")), QString());
    // Far past the limit the refusal is immediate, however deep the text goes.
    EXPECT_EQ(Soap::GetResult(answerNestedTo(100000), QStringLiteral("return")), QString());
}

} // namespace
