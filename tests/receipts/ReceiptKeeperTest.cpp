// The receipt keeper's rules on their own: the page judged before it is kept
// as a receipt, the month a listed reference is filed under, and a file of a
// receipt never replaced by different bytes.
#include "receipts/ReceiptKeeper.h"

#include "support/AppFolderTest.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

TEST(ReceiptPage, OnlyAPageOfTheProtocolIsKeptAsItsReceipt) {
    const QByteArray receipt = "<html><body>Protocolo 20260405000001</body></html>";
    struct Case {
        const char* name;
        HttpPage page;
        std::optional<Receipts::PageKind> kind;
        const char* why; // a piece of the reason
    };
    const Case cases[] = {
        {"html receipt", {200, "text/html; charset=utf-8", receipt}, Receipts::PageKind::Html, ""},
        {"pdf receipt", {200, "Application/PDF", "%PDF-1.7\n..."}, Receipts::PageKind::Pdf, ""},
        {"not found", {404, "text/html", receipt}, std::nullopt, "HTTP 404"},
        {"empty", {200, "text/html", {}}, std::nullopt, "vazia"},
        {"pdf in name only", {200, "application/pdf", "<html>"}, std::nullopt, "não é"},
        {"no type", {200, {}, receipt}, std::nullopt, "nenhum"},
        {"plain text", {200, "text/plain", receipt}, std::nullopt, "text/plain"},
        {"login page",
         {200, "text/html", "<form>20260405000001<input name=s TYPE = \"Password\"></form>"},
         std::nullopt,
         "acesso"},
        {"error page with 200",
         {200, "text/html", "<html>Erro interno</html>"},
         std::nullopt,
         "página de erro"},
    };
    for (const Case& c : cases) {
        QString why;
        EXPECT_EQ(Receipts::judgePage(c.page, QStringLiteral("20260405000001"), &why), c.kind)
            << c.name;
        EXPECT_TRUE(why.contains(QString::fromUtf8(c.why))) << c.name << ": " << why.toStdString();
    }
}

TEST(ReceiptPage, ListedReferencesGiveTheirMonth) {
    const std::pair<const char*, const char*> cases[] = {
        {"03/2026", "2026-03"}, {" 3/2026 ", "2026-03"}, {"12/2025", "2025-12"}, {"13/2026", ""},
        {"00/2026", ""},        {"Verificando", ""},     {"03/26", ""},          {"", ""}};
    for (const auto& [listed, month] : cases)
        EXPECT_EQ(Receipts::referenceMonth(QString::fromUtf8(listed)), QString::fromUtf8(month))
            << listed;
}

class ReceiptFiles : public AppFolderTest {};

TEST_F(ReceiptFiles, ADifferentReceiptIsKeptBesideTheEarlierOneAndNamedFromTheCompany) {
    const Receipts::Sending s{QStringLiteral("91000000"), QStringLiteral("Pão & Cia: Filial/2"),
                              QStringLiteral("KEY"),      QStringLiteral("03/2026"),
                              QStringLiteral("77"),       {}};
    EXPECT_EQ(Receipts::baseName(s),
              QStringLiteral("91000000 Pão & Cia Filial 2 2026-03 protocolo 77"));
    const QString path = QDir(Receipts::folderOf(s.ie, QStringLiteral("2026-03")))
                             .filePath(Receipts::baseName(s) + QStringLiteral(".xml"));
    QString note;
    QString error;
    ASSERT_EQ(Receipts::writeOnce(path, "<a/>", &note, &error), path) << error.toStdString();
    EXPECT_EQ(Receipts::writeOnce(path, "<a/>", &note, &error), path);
    EXPECT_TRUE(note.isEmpty());
    const QString second = Receipts::writeOnce(path, "<b/>", &note, &error);
    EXPECT_TRUE(second.endsWith(QStringLiteral("protocolo 77 (2).xml"))) << second.toStdString();
    EXPECT_TRUE(note.contains(QStringLiteral("os dois foram mantidos")));
    QFile first(path);
    ASSERT_TRUE(first.open(QIODevice::ReadOnly));
    EXPECT_EQ(first.readAll(), QByteArray("<a/>"));
    // The same bytes again find their copy, the earlier one untouched.
    EXPECT_EQ(Receipts::writeOnce(path, "<b/>", &note, &error), second);
    EXPECT_EQ(Receipts::filesOf(s).xml, path);
}

} // namespace
