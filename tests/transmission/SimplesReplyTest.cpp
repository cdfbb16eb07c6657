// The transmission windows' reading of the server's verdict (the Simples
// Nacional markers, the declaration refusals) and the Simples file test.
#include "transmission/SimplesReply.h"
#include "transmission/DeclarationReply.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;

std::vector<std::string> found(const char* reply) {
    std::vector<std::string> out;
    for (const QString& m : SimplesReply::messages(QByteArray(reply)))
        out.push_back(m.toStdString());
    return out;
}

TEST(SimplesReply, EachMarkerHasItsMessageInFixedOrder) {
    EXPECT_THAT(found("HTTP/1.1 200 OK\r\n\r\nArquivo x.pdf recebido (10 bytes)."), IsEmpty());
    EXPECT_THAT(found("ARQUIVO INVALIDO - EXTRATO"),
                ElementsAre(StartsWith("O arquivo que você enviou (Extrato) não é correto")));
    EXPECT_THAT(found("<p>ARQUIVO INVALIDO - RECIBO</p>"),
                ElementsAre(StartsWith("O arquivo que você enviou (Recibo) não é correto")));
    EXPECT_THAT(found("ARQUIVO INVALIDO - MODIFICADO"),
                ElementsAre(StartsWith("O arquivo que você enviou foi modificado")));
    // Both markers: the extract message first, whatever the order in the reply.
    EXPECT_THAT(found("ARQUIVO INVALIDO - MODIFICADO ARQUIVO INVALIDO - EXTRATO"),
                ElementsAre(StartsWith("O arquivo que você enviou (Extrato)"),
                            StartsWith("O arquivo que você enviou foi modificado")));
    // Markers are matched exactly as the server writes them.
    EXPECT_THAT(found("arquivo invalido - extrato"), IsEmpty());
}

TEST(SimplesReply, ModifiedMessageIsWhole) {
    EXPECT_EQ(SimplesReply::messages("ARQUIVO INVALIDO - MODIFICADO").value(0),
              QStringLiteral("O arquivo que você enviou foi modificado, você deverá fazer o "
                             "download do arquivo original no site PGDAS. Se você decidir "
                             "imprimir e salvar o resultado da impressão em PDF continuará "
                             "dando erro, a maneira correta para isto é Salvar o arquivo."));
}

TEST(SimplesReply, PdfIsJudgedByTheLastThreeCharacters) {
    const std::pair<const char*, bool> cases[] = {
        {"extrato.pdf", true},      {"EXTRATO.PDF", true},  {"PGDAS-123.Pdf", true},
        {"extrato.pdf.txt", false}, {"extrato.zip", false}, {"", false}};
    for (const auto& [name, pdf] : cases)
        EXPECT_EQ(SimplesReply::isPdfName(QString::fromLatin1(name)), pdf) << name;
}

TEST(DeclarationReply, ARefusalIsShownAsTheBodysTextWithoutMarkup) {
    const std::pair<const char*, const char*> cases[] = {
        // The server's page: head and tags dropped, the status line and headers too.
        {"HTTP/1.1 403 Forbidden\r\nContent-Type: text/html; charset=utf-8\r\n\r\n"
         "<html><head><meta charset=\"utf-8\"><title>Valdoria</title></head><body><p>"
         "ERRO - CHAVE INVALIDA</p></body></html>",
         "ERRO - CHAVE INVALIDA"},
        {"HTTP/1.0 200 OK\n\n<P>ERRO - CAMPO objArquivo AUSENTE<BR>tente de novo</P>",
         "ERRO - CAMPO objArquivo AUSENTE\ntente de novo"},
        {"<!-- x --><script>var ERRO=1;</script><b>ERRO</b>:  campo &lt;gias&gt; &amp; "
         "&quot;chave&quot;&#33;&#x21;&nbsp;&eacute;",
         "ERRO: campo <gias> & \"chave\"!! &eacute;"},
        {"ERRO - sem marca\u00e7\u00e3o", "ERRO - sem marca\u00e7\u00e3o"},
        // Only the headers carry the word: the whole reply, stripped.
        {"HTTP/1.0 500 ERRO\r\n\r\n<p></p>", "HTTP/1.0 500 ERRO"},
        // Unfinished markup: what can be read of it.
        {"<p>ERRO - a</p><b", "ERRO - a"},
        {"<p>ERRO - b</p><script>x", "ERRO - b"},
        {"<div class=\"ERRO\"></div>", "<div class=\"ERRO\"></div>"},
        // No refusal: nothing to show.
        {"HTTP/1.0 200 OK\r\n\r\n<p>Arquivo a.zip recebido (3 bytes).</p>", ""},
        {"<p>erro - minúsculas</p>", ""},
    };
    for (const auto& [reply, shown] : cases)
        EXPECT_EQ(DeclarationReply::refusal(QString::fromUtf8(reply)), QString::fromUtf8(shown))
            << reply;

    // A whole page of text is cut for the box.
    const QString longPage =
        QStringLiteral("<p>ERRO ") + QString(5000, u'x') + QStringLiteral("</p>");
    const QString cut = DeclarationReply::refusal(longPage);
    EXPECT_EQ(cut.size(), 2001);
    EXPECT_TRUE(cut.startsWith(QStringLiteral("ERRO xxx")));
    EXPECT_TRUE(cut.endsWith(QStringLiteral("x…")));
}

} // namespace
