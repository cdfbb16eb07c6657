// The Simples Nacional window's reading of the server's verdict and its file test.
#include "transmission/SimplesReply.h"

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

} // namespace
