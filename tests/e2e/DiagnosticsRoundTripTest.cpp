// The connection diagnostics against the simulator, directly, through a
// proxy that asks for a password, and against a closed port: every step is
// named with its time, a failing one says why, and nothing that changes the
// server's state is sent. And the support log after real calls and uploads
// through that proxy: the access keys only masked, never the password nor the
// file's content.
#include "WireFixture.h"

#include "base/SupportLog.h"
#include "diagnostics/Diagnostics.h"
#include "net/NetworkError.h"
#include "net/ProxySettings.h"
#include "net/url_helper.h"
#include "support/TestProxy.h"
#include "transmission/UploadAddress.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>

#include <sys/statvfs.h>

namespace dadav::e2e {
namespace {

const QString kServerName = QStringLiteral("valdoria.test");
const Credentials kRight{QStringLiteral("escritorio"), QStringLiteral("s3nh@ Boa")};

const QStringList kStepNames = {QStringLiteral("Configurações em uso"),
                                QStringLiteral("Consulta de nome"),
                                QStringLiteral("Conexão TCP com o servidor"),
                                QStringLiteral("Chamada de versão (Transferencia.ver2)"),
                                QStringLiteral("Endereço de envio de arquivos"),
                                QStringLiteral("Fontes de certificados"),
                                QStringLiteral("Provedor legado do OpenSSL"),
                                QStringLiteral("Pasta do aplicativo")};

class DiagnosticsRoundTrip : public WireTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(files_.isValid());
        startSimulator();
    }
    void TearDown() override { SupportLog::open(QString()); }

    // Runs every step; the guard only keeps a broken run from hanging the suite.
    QList<DiagnosticStep> diagnose() {
        Diagnostics::Inputs in;
        in.certificateFolder = files_.filePath(QStringLiteral("certificados"));
        in.home = files_.path();
        in.stepTimeoutMs = 10000;
        Diagnostics diagnostics(in, &proxyAuth_);
        QEventLoop loop;
        QObject::connect(&diagnostics, &Diagnostics::finished, &loop, &QEventLoop::quit);
        diagnostics.start();
        QTimer::singleShot(60000, &loop, [&] { loop.exit(1); });
        EXPECT_EQ(loop.exec(), 0) << "the diagnostics never ended";
        QStringList names;
        for (const DiagnosticStep& s : diagnostics.steps())
            names << s.name;
        EXPECT_EQ(names, kStepNames);
        return diagnostics.steps();
    }

    // The line of a step: its outcome, name and time, then why.
    static void expectLine(const DiagnosticStep& step, const QString& mark, const QString& why) {
        const QRegularExpression timed(
            QStringLiteral("^\\[%1\\] %2 \\(\\d+ ms\\): ")
                .arg(QRegularExpression::escape(mark), QRegularExpression::escape(step.name)));
        EXPECT_TRUE(timed.match(step.line()).hasMatch()) << step.line().toStdString();
        EXPECT_TRUE(step.detail.contains(why)) << step.line().toStdString();
    }

    // Nothing the server received asks it to store or change anything.
    void expectNothingChangedOnTheServer() {
        for (const std::string& raw : sim().rawRequests()) {
            const RawRequest r = splitRequest(QByteArray::fromStdString(raw));
            EXPECT_TRUE(
                r.requestLine == QStringLiteral("POST /orn/server/index.php?wsdl HTTP/1.1") ||
                r.requestLine == QStringLiteral("HEAD /client/xt_upload_1_15_01.php HTTP/1.0"))
                << r.requestLine.toStdString();
            if (r.requestLine.startsWith(QLatin1String("POST"))) {
                EXPECT_TRUE(r.headers.contains(QStringLiteral("SOAPAction: Transferencia.ver2")));
            }
        }
    }

    void throughProxy() {
        proxy_.resolve(kServerName, QHostAddress(QHostAddress::LocalHost));
        proxy_.requireCredentials(kRight.user, kRight.password);
        fixture_->writeIni(kServerName, QString::number(fixture_->port()));
        ASSERT_TRUE(ProxySettings::write(
            {ProxySettings::Mode::Manual, QStringLiteral("127.0.0.1"), proxy_.port()}));
    }

    QTemporaryDir files_;
    test::TestProxy proxy_;
};

TEST_F(DiagnosticsRoundTrip, AgainstTheSimulatorEveryStepPassesWithItsTime) {
    const QString logFolder = files_.filePath(QStringLiteral("registros"));
    SupportLog::open(logFolder);
    // A browser database in the home folder is named among the sources.
    ASSERT_TRUE(QDir(files_.path()).mkpath(QStringLiteral(".pki/nssdb")));
    QFile nss(files_.filePath(QStringLiteral(".pki/nssdb/cert9.db")));
    ASSERT_TRUE(nss.open(QIODevice::WriteOnly));
    nss.close();
    const QList<DiagnosticStep> steps = diagnose();
    ASSERT_EQ(steps.size(), kStepNames.size());
    // The support log keeps the report's lines, after the call's own line.
    QFile logFile(QDir(logFolder).filePath(QStringLiteral("dadav.log")));
    ASSERT_TRUE(logFile.open(QIODevice::ReadOnly));
    QStringList logged;
    for (const QString& line : QString::fromUtf8(logFile.readAll()).split(QLatin1Char('\n')))
        if (line.contains(QStringLiteral(" diagnóstico ")))
            logged << line.section(QStringLiteral(" diagnóstico "), 1);
    QStringList lines;
    for (const DiagnosticStep& s : steps)
        lines << s.line();
    EXPECT_EQ(logged, lines);

    expectLine(
        steps[0], QStringLiteral("OK"),
        QStringLiteral("servidor 127.0.0.1, porta %1; proxy: sistema").arg(fixture_->port()));
    expectLine(steps[1], QStringLiteral("OK"), QStringLiteral("servidor 127.0.0.1 → 127.0.0.1"));
    expectLine(steps[2], QStringLiteral("OK"),
               QStringLiteral("conectado a 127.0.0.1:%1").arg(fixture_->port()));
    expectLine(steps[3], QStringLiteral("OK"), QStringLiteral("o servidor respondeu (HTTP 200)"));
    expectLine(steps[4], QStringLiteral("OK"), QStringLiteral("atende: \"HTTP/1.1 "));
    // An empty certificate store deserves a look, but is no failure.
    expectLine(steps[5], QStringLiteral("ATENÇÃO"), QStringLiteral("0 certificado(s)"));
    expectLine(steps[5], QStringLiteral("ATENÇÃO"),
               QStringLiteral("navegadores: Banco NSS do usuário (Chrome)"));
    // Free space is unknown only where the folder's file system cannot be asked
    // at all, whatever the machine's list of mounts holds.
    struct statvfs fs {};
    const bool spaceReadable =
        statvfs(QFile::encodeName(AppPaths::applicationFolder()).constData(), &fs) == 0;
    expectLine(steps[7], QStringLiteral("OK"),
               spaceReadable ? QStringLiteral("gravável; espaço livre: ")
                             : QStringLiteral("gravável; espaço livre desconhecido"));
    expectNothingChangedOnTheServer();
    ASSERT_EQ(sim().rawRequests().size(), 2u);
    // The version step sends, byte for byte, what the program's own version
    // call sends: it cannot pass where the real call fails.
    ver2(QString(), QString());
    ASSERT_EQ(sim().rawRequests().size(), 3u);
    EXPECT_EQ(sim().rawRequests()[0], sim().rawRequests()[2]);
}

TEST_F(DiagnosticsRoundTrip, AgainstAClosedPortTheConnectionStepSaysWhyAndTheRestIsNotTried) {
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();
    fixture_->writeIni(QStringLiteral("127.0.0.1"), QString::number(port));

    const QList<DiagnosticStep> steps = diagnose();
    ASSERT_EQ(steps.size(), kStepNames.size());
    expectLine(steps[1], QStringLiteral("OK"), QStringLiteral("127.0.0.1"));
    expectLine(steps[2], QStringLiteral("FALHA"),
               QStringLiteral("127.0.0.1:%1: conexão recusada").arg(port));
    for (int i : {3, 4}) {
        EXPECT_EQ(steps[i].outcome, DiagnosticStep::Outcome::Skipped);
        EXPECT_EQ(steps[i].line(),
                  QStringLiteral("[NÃO FEITO] %1: sem conexão com o servidor").arg(steps[i].name));
    }
    // The checks of this computer still run.
    for (int i : {5, 6, 7})
        EXPECT_NE(steps[i].outcome, DiagnosticStep::Outcome::Skipped)
            << steps[i].line().toStdString();
}

// A proxy's endless refusal ends the connection step within the tunnel's
// bound: the proxy could write little beyond what the connection holds.
TEST_F(DiagnosticsRoundTrip, AProxysHugeRefusalEndsTheConnectionStepUnread) {
    throughProxy();
    proxy_.refuseWithHeaderOf(qint64(64) << 20);
    const QList<DiagnosticStep> steps = diagnose();
    ASSERT_EQ(steps.size(), kStepNames.size());
    expectLine(steps[2], QStringLiteral("FALHA"), ProxyAuth::refusalText(ProxyAuth::Demand::None));
    EXPECT_EQ(steps[3].outcome, DiagnosticStep::Outcome::Skipped);
    EXPECT_LT(proxy_.madeUpBytes(), qint64(16) << 20);
    EXPECT_TRUE(credentials_.asked.isEmpty());
}

TEST_F(DiagnosticsRoundTrip, ThroughAProxyThatAsksForAPasswordEveryStepPasses) {
    throughProxy();
    credentials_.answers = {kRight};
    // By Digest the steps that go the upload's way are handed to Qt's proxy
    // layer; the password given for Basic is remembered for it.
    for (const bool digest : {false, true}) {
        SCOPED_TRACE(digest ? "Digest" : "Basic");
        if (digest)
            proxy_.requireDigest(kRight.user, kRight.password);
        const QList<DiagnosticStep> steps = diagnose();
        ASSERT_EQ(steps.size(), kStepNames.size());
        const QString via = QStringLiteral("pelo proxy 127.0.0.1:%1").arg(proxy_.port());
        expectLine(steps[0], QStringLiteral("OK"), QStringLiteral("proxy: manual 127.0.0.1:"));
        expectLine(steps[1], QStringLiteral("OK"),
                   QStringLiteral("proxy 127.0.0.1 → 127.0.0.1; o nome do servidor valdoria.test é "
                                  "consultado pelo proxy"));
        expectLine(
            steps[2], QStringLiteral("OK"),
            QStringLiteral("conectado a valdoria.test:%1 %2").arg(fixture_->port()).arg(via));
        expectLine(steps[3], QStringLiteral("OK"), QStringLiteral("(HTTP 200) ") + via);
        expectLine(steps[4], QStringLiteral("OK"), via + QStringLiteral(": \"HTTP/1.1 "));
        EXPECT_EQ(credentials_.asked.size(), 1);
        const QByteArray target =
            kServerName.toLatin1() + ':' + QByteArray::number(fixture_->port());
        EXPECT_TRUE(proxy_.requestLines().contains("CONNECT " + target + " HTTP/1.1"));
        EXPECT_TRUE(proxy_.requestLines().contains("POST http://" + target +
                                                   "/orn/server/index.php?wsdl HTTP/1.1"));
        expectNothingChangedOnTheServer();
    }

    // Without the proxy the made-up name is found nowhere, and the report
    // says so at the first step that needs it.
    ASSERT_TRUE(ProxySettings::write({ProxySettings::Mode::None, QString(), 0}));
    const QList<DiagnosticStep> direct = diagnose();
    ASSERT_EQ(direct.size(), kStepNames.size());
    expectLine(direct[1], QStringLiteral("FALHA"),
               QStringLiteral("servidor valdoria.test: nome não encontrado"));
    EXPECT_EQ(direct[2].outcome, DiagnosticStep::Outcome::Skipped);
}

TEST_F(DiagnosticsRoundTrip, TheSupportLogHoldsMaskedKeysAndNoPasswordNorFileContent) {
    const QString logFolder = files_.filePath(QStringLiteral("registros"));
    SupportLog::open(logFolder);
    throughProxy();
    credentials_.answers = {kRight};

    const QString key = QStringLiteral("A7K2M9QX");
    ver2(QStringLiteral("78045302"), key);
    const QString uploadKey = QStringLiteral("Z3P8W1RT");
    const QByteArray content = "PK\x03\x04 conteudo-do-arquivo-do-cliente";
    const QString path = files_.filePath(QStringLiteral("GIA.ZIP"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(content) == content.size());
    f.close();
    const UploadOutcome out =
        upload(url_helper::ExtractUrl(UploadAddress::declaration(
                   host(), port(), QStringLiteral("86123452"), QStringLiteral("123.456.789-09"),
                   uploadKey, QStringLiteral("3_2025"))),
               path, QStringLiteral("GIA.ZIP"));
    ASSERT_TRUE(out.reply) << out.failure.toStdString();
    // A call that fails is logged with its reason.
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const QString closedPort = QString::number(closed.serverPort());
    closed.close();
    fixture_->writeIni(QStringLiteral("127.0.0.1"), closedPort);
    // A long value (a name, an address, a certificate) is logged by its size only.
    const QString longValue = QStringLiteral("Escritório Contábil de Valdoria Ltda");
    EXPECT_THROW(ver2(longValue, key), NetworkError);

    QFile logFile(QDir(logFolder).filePath(QStringLiteral("dadav.log")));
    ASSERT_TRUE(logFile.open(QIODevice::ReadOnly));
    const QString log = QString::fromUtf8(logFile.readAll());
    const QStringList lines = log.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << log.toStdString();
    const QRegularExpression call(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} servidor "
                       "Transferencia\\.ver2 http://valdoria\\.test:\\d+/orn/server/"
                       "index\\.php\\?wsdl \\[strNome=78045302 strDiretorioDestino=vbs "
                       "Chave=\\*{6}QX\\] \\d+ ms: resposta HTTP 200, \\d+ caracteres$"));
    EXPECT_TRUE(call.match(lines[0]).hasMatch()) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].contains(QStringLiteral(" envio http://valdoria.test:")))
        << lines[1].toStdString();
    EXPECT_TRUE(lines[1].contains(QStringLiteral("&chave=******RT&gias=3_2025 arquivo GIA.ZIP")))
        << lines[1].toStdString();
    EXPECT_TRUE(lines[1].contains(QStringLiteral(": resposta de "))) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].contains(
        QStringLiteral("http://127.0.0.1:%1/orn/server/index.php?wsdl").arg(closedPort)))
        << lines[2].toStdString();
    EXPECT_TRUE(lines[2].contains(QStringLiteral(": falhou ("))) << lines[2].toStdString();
    EXPECT_TRUE(lines[2].contains(QStringLiteral("strNome=(%1 caracteres)").arg(longValue.size())))
        << lines[2].toStdString();
    for (const QString& secret :
         {key, uploadKey, kRight.password, QStringLiteral("conteudo-do-arquivo"), longValue})
        EXPECT_FALSE(log.contains(secret)) << secret.toStdString();
}

} // namespace
} // namespace dadav::e2e
