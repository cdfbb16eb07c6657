// The "Diagnóstico" window: it runs the steps as it opens, shows each line,
// copies the whole report, and stays usable while a step waits on a server
// that never answers: "Cancelar" stops the steps at once, "Fechar" closes the
// window in the middle of one.
#include "diagnostics/DiagnosticsWindow.h"

#include "certificates/CertificateSources.h"
#include "certificates/Pkcs11Source.h"
#include "diagnostics/Diagnostics.h"
#include "shell/AppContext.h"
#include "support/AccessibilityCheck.h"
#include "support/FakePrompter.h"
#include "support/SimulatorFixture.h"
#include "support/TestCertificates.h"
#include "support/TestTokens.h"
#include "support/WaitFor.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHostAddress>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTcpServer>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

namespace {

using ::testing::IsEmpty;

using dadav::test::waitFor;

class DiagnosticsWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        // The certificate store of the per-user data folder lies in here.
        savedDataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", home.path().toUtf8());
        simulator.useAsApplicationFolder();
        context.prompter = &prompter;
    }
    void TearDown() override {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        qputenv("XDG_DATA_HOME", savedDataHome);
    }

    QTemporaryDir home;
    QByteArray savedDataHome;
    dadav::test::SimulatorFixture simulator;
    FakePrompter prompter;
    AppContext context;
};

TEST_F(DiagnosticsWindowTest, RunsAsItOpensAndCopiesTheWholeReport) {
    DiagnosticsWindow w(context);
    w.show();
    EXPECT_FALSE(w.cmdRepetir->isEnabled());
    ASSERT_TRUE(waitFor([&] { return !w.diagnostics()->isRunning(); }));
    EXPECT_EQ(w.lblEstado->text(), QStringLiteral("Diagnóstico concluído."));
    const QString report = w.txtRelatorio->toPlainText();
    for (const char* line :
         {"[OK] Configurações em uso (", "[OK] Consulta de nome (",
          "[OK] Conexão TCP com o servidor (", "[OK] Chamada de versão (Transferencia.ver2) (",
          "[OK] Endereço de envio de arquivos (", "] Fontes de certificados (",
          "] Provedor legado do OpenSSL (", "[OK] Pasta do aplicativo ("})
        EXPECT_TRUE(report.contains(QString::fromUtf8(line))) << line;
    EXPECT_FALSE(w.cmdCancelar->isEnabled());
    EXPECT_TRUE(w.cmdRepetir->isEnabled());

    QGuiApplication::clipboard()->clear();
    w.cmdCopiar->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), report.toStdString());
    EXPECT_THAT(AccessibilityCheck::unnamedControls(&w), IsEmpty());
    EXPECT_THAT(AccessibilityCheck::unreachableControls(&w), IsEmpty());
    prompter.expectNoMessages();
}

// The certificates step counts what the selection dialog lists (a token's
// certificates too) and names a module that hangs.
TEST_F(DiagnosticsWindowTest, CountsTheCertificatesOfEverySourceAndNamesAHungOne) {
    dadav::test::SoftHsm hsm(home.filePath(QStringLiteral("hsm")));
    hsm.initToken(QStringLiteral("e-CNPJ"), QStringLiteral("123456"));
    for (const char* name : {"UM", "DOIS"}) {
        dadav::test::TestCertificateOptions o;
        o.commonName = QString::fromLatin1(name);
        hsm.addCertificate(QStringLiteral("e-CNPJ"), QStringLiteral("123456"),
                           dadav::test::makeCertificateDer(o), false);
    }
    const CertificateSearch token{
        {std::make_shared<Pkcs11Source>(QStringList{dadav::test::kSoftHsmModule})},
        std::chrono::seconds(60)};
    auto blocking = std::make_shared<dadav::test::BlockingSource>();
    // The stand-in for a hung module answers nothing: a short time-out is all it gets.
    const CertificateSearch hung{{blocking}, std::chrono::milliseconds(200)};

    const auto certificatesLine = [this](const CertificateSearch& search) {
        context.certificateSearch = &search;
        DiagnosticsWindow w(context);
        w.show();
        EXPECT_TRUE(waitFor([&] { return !w.diagnostics()->isRunning(); }, 90000));
        for (const DiagnosticStep& step : w.diagnostics()->steps())
            if (step.name == QStringLiteral("Fontes de certificados"))
                return step.line();
        return QString();
    };
    const QString counted = certificatesLine(token);
    EXPECT_TRUE(counted.startsWith(QStringLiteral("[OK] Fontes de certificados (")))
        << counted.toStdString();
    EXPECT_TRUE(counted.contains(
        QStringLiteral("): 2 certificado(s) (Token e-CNPJ (libsofthsm2.so): 2); ")))
        << counted.toStdString();
    const QString named = certificatesLine(hung);
    blocking->release();
    EXPECT_TRUE(named.startsWith(QStringLiteral("[FALHA] Fontes de certificados (")))
        << named.toStdString();
    EXPECT_TRUE(named.contains(QStringLiteral("; não lido: Módulo travado: não respondeu em 1 s.")))
        << named.toStdString();
    prompter.expectNoMessages();
}

TEST_F(DiagnosticsWindowTest, CancelAndCloseWorkWhileAStepWaitsOnASilentServer) {
    // Takes connections (the system completes them) and never answers.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    simulator.writeIni(QStringLiteral("127.0.0.1"), QString::number(silent.serverPort()));
    const QString waiting =
        QStringLiteral("Verificando: Chamada de versão (Transferencia.ver2)...");

    QPointer<DiagnosticsWindow> w = new DiagnosticsWindow(context);
    w->show();
    ASSERT_TRUE(waitFor([&] { return w->lblEstado->text() == waiting; }));
    w->cmdCancelar->click();
    EXPECT_FALSE(w->diagnostics()->isRunning());
    EXPECT_EQ(w->lblEstado->text(), QStringLiteral("Diagnóstico cancelado."));
    const QString report = w->txtRelatorio->toPlainText();
    EXPECT_TRUE(report.contains(QStringLiteral("[OK] Conexão TCP com o servidor (")));
    EXPECT_TRUE(
        report.contains(QStringLiteral("[CANCELADO] Chamada de versão (Transferencia.ver2) (")));
    EXPECT_TRUE(report.contains(QStringLiteral("): interrompido pelo usuário\n")));
    EXPECT_TRUE(report.contains(QStringLiteral(
        "[CANCELADO] Pasta do aplicativo: diagnóstico cancelado antes deste passo\n")));

    // Again, and closed in the middle of the same step: the window goes and
    // nothing of the steps is left running.
    w->cmdRepetir->click();
    ASSERT_TRUE(waitFor([&] { return w->lblEstado->text() == waiting; }));
    Diagnostics* diagnostics = w->diagnostics();
    EXPECT_TRUE(diagnostics->isRunning());
    w->cmdFechar->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.isNull());
    QCoreApplication::processEvents();
    prompter.expectNoMessages();
}

} // namespace
