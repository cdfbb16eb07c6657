// The certificates window and the main window's expiry notice over a real
// application folder: certificates in the own folder and on a SoftHSM2 token,
// taxpayers and the accountant in the database, and a source that hangs.
// Every date comes from the context's clock.
#include "certificateswindow/CertificatesWindow.h"

#include "app/Principal.h"
#include "certificates/CertificateSources.h"
#include "certificates/CertificateStore.h"
#include "certificates/FolderSource.h"
#include "certificates/Pkcs11Source.h"
#include "shell/AppContext.h"
#include "store/ContadorRepository.h"
#include "store/ContribuinteRepository.h"
#include "store/LocalDb.h"
#include "support/AccessibilityCheck.h"
#include "support/AppFolderTest.h"
#include "support/FakePinPrompter.h"
#include "support/FakePrompter.h"
#include "support/FixedClock.h"
#include "support/TestCertificates.h"
#include "support/TestTokens.h"
#include "support/WaitFor.h"

#include <QCoreApplication>
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
    ASSERT_TRUE(dadav::test::waitFor(done, 60000)) << "the listing never answered";
}

class CertificatesWindowTest : public AppFolderTest {
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
        o.notBefore = clock.now().addDays(-300).toUTC();
        o.notAfter = QDateTime(ends, QTime(12, 0)).toUTC();
        store.importBytes(dadav::test::makeCertificateDer(o));
        context.prompter = &prompter;
        context.certificateSearch = &search;
        context.clock = &clock;
    }
    void TearDown() override { blocking->release(); }

    CertificateStore store{dir.filePath(QStringLiteral("certificados"))};
    std::shared_ptr<dadav::test::BlockingSource> blocking =
        std::make_shared<dadav::test::BlockingSource>();
    // Real sources get all the time they may need; the stand-in for a hung
    // module answers nothing, so a short time-out is all it gets.
    CertificateSearch search{{std::make_shared<FolderSource>(store.folder())},
                             std::chrono::seconds(60)};
    CertificateSearch hung{{blocking}, std::chrono::milliseconds(200)};
    FixedClock clock{QDateTime(QDate(2026, 3, 10), QTime(9, 0))};
    const QDate ends = clock.today().addDays(12); // of the taxpayer's certificate
    FakePrompter prompter;
    AppContext context;
};

TEST_F(CertificatesWindowTest, ListsCertificatesAndWhoseTheyAre) {
    auto* w = new CertificatesWindow(context);
    w->show();
    EXPECT_TRUE(w->lblLendo->isVisible());
    waitUntil([w] { return !w->listing(); });
    EXPECT_FALSE(w->lblLendo->isVisible());
    EXPECT_THAT(rowsOf(w->lstCertificados),
                ElementsAre(QStringLiteral("PADARIA SAO JOAO:11222333000181||") +
                            ends.toString(QStringLiteral("dd/MM/yyyy")) +
                            QStringLiteral("|12 dias, vence em breve|Pasta do programa")));
    EXPECT_THAT(rowsOf(w->lstCadastros),
                ElementsAre(QStringLiteral("Contador|Maria Contadora|123.456.789-09|Nenhum "
                                           "certificado encontrado||"),
                            QStringLiteral("Contribuinte|Padaria São João|11.222.333/0001-81|"
                                           "PADARIA SAO JOAO:11222333000181 (Pasta do programa)|") +
                                ends.toString(QStringLiteral("dd/MM/yyyy")) +
                                QStringLiteral("|12 dias, vence em breve")));
    EXPECT_FALSE(w->lblFalhas->isVisibleTo(w));
    EXPECT_FALSE(w->cmdEntrar->isVisibleTo(w));
    EXPECT_THAT(AccessibilityCheck::unnamedControls(w), IsEmpty());

    // A module that hangs is named; the window stays usable.
    context.certificateSearch = &hung;
    w->cmdAtualizar->click();
    waitUntil([w] { return !w->listing(); });
    EXPECT_EQ(w->lblFalhas->text(), QStringLiteral("Módulo travado: não respondeu em 1 s."));
    prompter.expectNoMessages();
    w->cmdFechar->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The notice appears without a box once the sources answer, from 30 days
// before the end; 31 days before, the certificate is not named (seen once the
// notice shows the accountant's, which ends sooner).
TEST_F(CertificatesWindowTest, MainWindowNoticeAtStart) {
    for (const int days : {12, 30}) {
        clock.set(QDateTime(ends.addDays(-days), QTime(9, 0)));
        Principal p(context);
        waitUntil([&] { return p.lblCertificados->isVisibleTo(&p); });
        EXPECT_EQ(p.lblCertificados->text(),
                  QStringLiteral("Certificado digital de Padaria São João vence em %1 dias. "
                                 "Veja Arquivo > Certificados (F7).")
                      .arg(days));
        prompter.expectNoMessages();
    }
    clock.set(QDateTime(ends.addDays(-31), QTime(9, 0)));
    dadav::test::TestCertificateOptions o;
    o.commonName = QStringLiteral("MARIA CONTADORA:12345678909");
    o.notBefore = clock.now().addDays(-300).toUTC();
    o.notAfter = QDateTime(clock.today().addDays(5), QTime(12, 0)).toUTC();
    store.importBytes(dadav::test::makeCertificateDer(o));
    Principal p(context);
    waitUntil([&] { return p.lblCertificados->isVisibleTo(&p); });
    EXPECT_EQ(p.lblCertificados->text(),
              QStringLiteral("Certificado digital de Maria Contadora vence em 5 dias. "
                             "Veja Arquivo > Certificados (F7)."));
}

} // namespace

namespace {

// A card that shows its certificate only after the PIN is entered from this
// window too, and its certificate is then watched: the accountant's. An
// empty token that needs no PIN is not offered.
TEST_F(CertificatesWindowTest, EntersATokenAndWatchesItsCertificate) {
    dadav::test::SoftHsm hsm(dir.filePath(QStringLiteral("hsm")));
    hsm.initToken(QStringLiteral("cartao"), QStringLiteral("654321"));
    dadav::test::TestCertificateOptions o;
    o.commonName = QStringLiteral("MARIA CONTADORA:12345678909");
    o.notBefore = clock.now().addDays(-300).toUTC();
    o.notAfter = QDateTime(clock.today().addDays(200), QTime(12, 0)).toUTC();
    hsm.addCertificate(QStringLiteral("cartao"), QStringLiteral("654321"),
                       dadav::test::makeCertificateDer(o), true);
    CertificateSearch withToken{
        {std::make_shared<FolderSource>(store.folder()),
         std::make_shared<Pkcs11Source>(
             QStringList{dadav::test::kSoftHsmModule, QStringLiteral(DADAV_EMPTY_TOKEN_MODULE)})},
        std::chrono::seconds(60)};
    context.certificateSearch = &withToken;
    dadav::test::FakePinPrompter pins;
    pins.answers = {QStringLiteral("000000"), QStringLiteral("654321")};
    context.pins = &pins;

    auto* w = new CertificatesWindow(context);
    w->show();
    waitUntil([w] { return !w->listing(); });
    ASSERT_TRUE(w->cmdEntrar->isVisible());
    w->cmdEntrar->click();
    waitUntil([w] { return !w->listing(); });
    EXPECT_EQ(prompter.texts(), QStringList{QStringLiteral("PIN incorreto para o token cartao.")});
    w->cmdEntrar->click();
    waitUntil([w] { return !w->listing(); });
    EXPECT_EQ(pins.asked, (QStringList{QStringLiteral("cartao"), QStringLiteral("cartao")}));
    EXPECT_FALSE(w->cmdEntrar->isVisible());
    EXPECT_EQ(rowsOf(w->lstCadastros).first(),
              QStringLiteral("Contador|Maria Contadora|123.456.789-09|MARIA "
                             "CONTADORA:12345678909 (Token cartao (libsofthsm2.so))|") +
                  clock.today().addDays(200).toString(QStringLiteral("dd/MM/yyyy")) +
                  QStringLiteral("|200 dias"));
    w->cmdFechar->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace
