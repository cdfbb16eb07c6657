// The certificates window and the main window's expiry notice over a real
// application folder: certificates in the own folder, taxpayers and the
// accountant in the database, and a source that hangs.
#include "expiry/frmCertificados.h"

#include "app/Principal.h"
#include "certificates/CertificateSources.h"
#include "certificates/CertificateStore.h"
#include "certificates/FolderSource.h"
#include "shell/AppContext.h"
#include "store/ContadorRepository.h"
#include "store/ContribuinteRepository.h"
#include "store/LocalDb.h"
#include "support/AccessibilityCheck.h"
#include "support/AppFolderTest.h"
#include "support/FakePrompter.h"
#include "support/TestCertificates.h"
#include "support/TestTokens.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

QStringList rowsOf(const QTreeWidget* list) {
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QStringList cells;
        for (int c = 0; c < list->columnCount(); ++c)
            cells << list->topLevelItem(i)->text(c);
        out << cells.join(QLatin1Char('|'));
    }
    return out;
}

template <class Done> void waitUntil(Done done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    ASSERT_TRUE(done()) << "the listing never answered";
}

class CertificadosWindowTest : public AppFolderTest {
protected:
    void SetUp() override {
        AppFolderTest::SetUp();
        LocalDb db;
        insertContribuinte(db, {QStringLiteral("78045302"), QStringLiteral("Padaria São João"),
                                QStringLiteral("11.222.333/0001-81"), QStringLiteral("1091-1/02"),
                                QStringLiteral("A7K2M9QX"), QString(), false});
        ContadorRow accountant;
        accountant.cont_cpf_cnpj = QStringLiteral("123.456.789-09");
        accountant.cont_razao_nome = QStringLiteral("Maria Contadora");
        replaceContador(db, accountant);
        dadav::test::TestCertificateOptions o;
        o.commonName = QStringLiteral("PADARIA SAO JOAO:11222333000181");
        o.notAfter = QDateTime(QDate::currentDate().addDays(12), QTime(12, 0)).toUTC();
        store.importBytes(dadav::test::makeCertificateDer(o));
        context.prompter = &prompter;
        context.certificateSearch = &search;
    }
    void TearDown() override { blocking->release(); }

    CertificateStore store{dir.filePath(QStringLiteral("certificados"))};
    std::shared_ptr<dadav::test::BlockingSource> blocking =
        std::make_shared<dadav::test::BlockingSource>();
    CertificateSearch search{{std::make_shared<FolderSource>(store.folder()), blocking},
                             std::chrono::milliseconds(300)};
    FakePrompter prompter;
    AppContext context;
};

TEST_F(CertificadosWindowTest, ListsCertificatesAndWhoseTheyAre) {
    auto* w = new frmCertificados(context);
    w->show();
    EXPECT_TRUE(w->lblLendo->isVisible());
    waitUntil([w] { return !w->listing(); });
    EXPECT_FALSE(w->lblLendo->isVisible());
    EXPECT_THAT(
        rowsOf(w->lstCertificados),
        ElementsAre(QStringLiteral("PADARIA SAO JOAO:11222333000181||") +
                    QDate::currentDate().addDays(12).toString(QStringLiteral("dd/MM/yyyy")) +
                    QStringLiteral("|12 dias, vence em breve|Pasta do programa")));
    EXPECT_THAT(
        rowsOf(w->lstCadastros),
        ElementsAre(QStringLiteral("Contador|Maria Contadora|123.456.789-09|Nenhum "
                                   "certificado encontrado||"),
                    QStringLiteral("Contribuinte|Padaria São João|11.222.333/0001-81|"
                                   "PADARIA SAO JOAO:11222333000181 (Pasta do programa)|") +
                        QDate::currentDate().addDays(12).toString(QStringLiteral("dd/MM/yyyy")) +
                        QStringLiteral("|12 dias, vence em breve")));
    EXPECT_EQ(w->lblFalhas->text(), QStringLiteral("Módulo travado: não respondeu em 1 s."));
    EXPECT_THAT(AccessibilityCheck::unnamedControls(w), IsEmpty());
    prompter.expectNoMessages();
    w->cmdFechar->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The notice appears without a box once the sources answer; without one
// near its end, it stays hidden.
TEST_F(CertificadosWindowTest, MainWindowNoticeAtStart) {
    {
        Principal p(context);
        waitUntil([&] { return p.lblCertificados->isVisibleTo(&p); });
        EXPECT_EQ(p.lblCertificados->text(),
                  QStringLiteral("Certificado digital de Padaria São João vence em 12 dias. "
                                 "Veja Arquivo > Certificados (F7)."));
        prompter.expectNoMessages();
    }
    LocalDb db;
    deleteContribuinte(db, QStringLiteral("78045302"));
    Principal p(context);
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 1500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_FALSE(p.lblCertificados->isVisibleTo(&p));
}

} // namespace
