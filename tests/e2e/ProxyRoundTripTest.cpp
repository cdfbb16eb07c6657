// The SOAP calls and both uploads through an HTTP proxy that asks for a
// password: the server receives the same bytes as without the proxy, the user
// is asked once per session, a refused password is asked again once and then
// fails the call. The client's server name is one only the test proxy knows,
// so nothing reaches the simulator except through the proxy.
#include "WireFixture.h"

#include "net/NetworkError.h"
#include "net/ProxySettings.h"
#include "net/SoapBatch.h"
#include "net/UploadRequest.h"
#include "net/url_helper.h"
#include "support/TestProxy.h"
#include "support/WaitFor.h"
#include "transmission/UploadAddress.h"

#include <QFile>
#include <QHostAddress>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <functional>
#include <stdexcept>

namespace dadav::e2e {
namespace {

const QString kServerName = QStringLiteral("valdoria.test");
const QString kContador = QStringLiteral("123.456.789-09");
const Credentials kRight{QStringLiteral("escritorio"), QStringLiteral("s3nh@ Boa")};
const Credentials kWrong{QStringLiteral("escritorio"), QStringLiteral("errada")};
const QString kRefused = ProxyAuth::refusalText(ProxyAuth::Demand::Answered);

class ProxyRoundTrip : public WireTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(files_.isValid());
        startSimulator();
        proxy_.resolve(kServerName, QHostAddress(QHostAddress::LocalHost));
        proxy_.requireCredentials(kRight.user, kRight.password);
        pointAt(kServerName);
    }

    // Points the client at server (with the simulator's port) through the
    // test proxy in manual mode.
    void pointAt(const QString& server) {
        fixture_->writeIni(server, QString::number(fixture_->port()));
        ASSERT_TRUE(ProxySettings::write(
            {ProxySettings::Mode::Manual, QStringLiteral("127.0.0.1"), proxy_.port()}));
    }
    QString proxyName() const { return QStringLiteral("127.0.0.1:%1").arg(proxy_.port()); }

    QString ver2() {
        return WireTest::ver2(QStringLiteral("78045302"), QStringLiteral("A7K2M9QX"));
    }

    UploadOutcome uploadTo(const QString& url, const QByteArray& bytes) {
        const QString path = files_.filePath(QStringLiteral("GIA.ZIP"));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        f.close();
        return upload(url_helper::ExtractUrl(url), path, QStringLiteral("GIA.ZIP"));
    }
    static QString declarationUrl() {
        return UploadAddress::declaration(host(), port(), QStringLiteral("86123452"), kContador,
                                          QStringLiteral("Z3P8W1RT"), QStringLiteral("3_2025"));
    }
    static QString simplesUrl() {
        return UploadAddress::simples(host(), port(), kContador, QStringLiteral("A7K2M9QX"));
    }

    // The upload the simulator received last equals the builder's rendering
    // of it (the bytes sent without a proxy), but for the per-request boundary.
    void expectLastUploadIsTheRendering(const QString& url, const QByteArray& bytes) {
        const QByteArray raw = QByteArray::fromStdString(sim().rawRequests().back());
        QByteArray rendered = upload::BuildFileUploadRequest(
            bytes, url_helper::ExtractUrl(url), QStringLiteral("objArquivo"),
            QStringLiteral("GIA.ZIP"), QStringLiteral("application/octet-stream"));
        ASSERT_EQ(boundaryOf(raw).size(), 32);
        rendered.replace(boundaryOf(rendered), boundaryOf(raw));
        EXPECT_TRUE(raw == rendered) << raw.left(300).toStdString();
    }

    // One list call through the overview's parallel calls: the answer, or
    // why it failed.
    QString batchCall() {
        SoapBatch batch(1, &proxyAuth_);
        QString outcome;
        QObject::connect(&batch, &SoapBatch::answered, &batch,
                         [&](int, const QString& answer) { outcome = answer; });
        QObject::connect(&batch, &SoapBatch::failed, &batch,
                         [&](int, const QString& reason) { outcome = reason; });
        batch.run({{1, Soap::ServicePath, QStringLiteral("Transferencia.ver2"), {}}});
        EXPECT_TRUE(test::waitFor([&] { return !outcome.isEmpty(); })) << "the call never ended";
        return outcome;
    }
    // The description of a SOAP call that must fail.
    QString failedVer2() {
        try {
            ver2();
        } catch (const NetworkError& e) {
            return e.description();
        }
        ADD_FAILURE() << "the call passed";
        return {};
    }

    test::TestProxy proxy_;
    QTemporaryDir files_;
};

// A loopback server that answers every request with a proxy's demand for a
// password, and keeps every byte it received.
class DemandingServer {
public:
    DemandingServer() {
        if (!server_.listen(QHostAddress::LocalHost))
            throw std::runtime_error("the demanding server cannot listen");
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
            QTcpSocket* socket = server_.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                const QByteArray bytes = socket->readAll();
                received += bytes;
                if (!bytes.contains("\r\n\r\n"))
                    return;
                socket->write("HTTP/1.1 407 Proxy Authentication Required\r\n"
                              "Proxy-Authenticate: Basic realm=\"outro\"\r\n"
                              "Content-Length: 0\r\nConnection: close\r\n\r\n");
                socket->disconnectFromHost();
            });
        });
    }
    quint16 port() const { return server_.serverPort(); }
    QByteArray received;

private:
    QTcpServer server_;
};

TEST_F(ProxyRoundTrip, CallsAndBothUploadsPassWithTheBytesSentWithoutAProxy) {
    // The SOAP request as the server receives it directly, for comparison.
    pointAt(QStringLiteral("127.0.0.1"));
    ver2();
    const RawRequest direct = lastRequest();
    ASSERT_TRUE(proxy_.requestLines().isEmpty()) << "loopback went through the proxy";

    pointAt(kServerName);
    credentials_.answers = {kRight};
    const QString answer = ver2();
    const RawRequest proxied = lastRequest();
    EXPECT_EQ(Soap::GetResult(answer, QStringLiteral("return")).isEmpty(), false);
    EXPECT_EQ(proxied.requestLine, direct.requestLine);
    EXPECT_EQ(proxied.body, direct.body);
    for (const QString& h : {QStringLiteral("Content-Type: text/xml"),
                             QStringLiteral("SOAPAction: Transferencia.ver2")})
        EXPECT_TRUE(proxied.headers.contains(h)) << h.toStdString();

    const QByteArray bytes = allByteValues().repeated(3 * 4096 + 7); // several chunks
    for (const QString& url : {declarationUrl(), simplesUrl()}) {
        SCOPED_TRACE(url.toStdString());
        const UploadOutcome out = uploadTo(url, bytes);
        ASSERT_TRUE(out.reply) << out.failure.toStdString();
        expectLastUploadIsTheRendering(url, bytes);
    }

    // Asked once for the whole session; everything went through the proxy.
    ASSERT_EQ(credentials_.asked.size(), 1);
    EXPECT_EQ(credentials_.asked[0].proxy, proxyName());
    EXPECT_FALSE(credentials_.asked[0].refused);
    const QByteArray target = kServerName.toLatin1() + ':' + port().toLatin1();
    EXPECT_TRUE(proxy_.requestLines().contains("POST http://" + target +
                                               "/orn/server/index.php?wsdl HTTP/1.1"));
    // Qt sends no credentials before the proxy asks, so each exchange may
    // have been refused once first.
    EXPECT_GE(proxy_.requestLines().count("CONNECT " + target + " HTTP/1.1"), 2)
        << proxy_.requestLines().join(" | ").toStdString();
}

TEST_F(ProxyRoundTrip, ARefusedPasswordIsAskedAgainOnceThenTheCallFails) {
    const size_t received = sim().rawRequests().size();
    credentials_.answers = {kWrong, kWrong};
    try {
        ver2();
        ADD_FAILURE() << "the call passed a proxy that refused the password";
    } catch (const NetworkError& e) {
        EXPECT_EQ(e.number(), QNetworkReply::ProxyAuthenticationRequiredError);
        EXPECT_EQ(e.description(), kRefused);
    }
    ASSERT_EQ(credentials_.asked.size(), 2) << proxy_.requestLines().join(" | ").toStdString();
    credentials_.answers = {kWrong, kWrong};
    const UploadOutcome refused = uploadTo(declarationUrl(), "PK");
    EXPECT_FALSE(refused.reply);
    EXPECT_EQ(refused.failure, kRefused);
    EXPECT_EQ(sim().rawRequests().size(), received) << "something reached the server";

    // Asked twice per call, the second time saying the password was refused.
    ASSERT_EQ(credentials_.asked.size(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(credentials_.asked[i].refused, i % 2 == 1) << i;

    // A right password on the second try lets the upload and later calls pass.
    credentials_.answers = {kWrong, kRight};
    const UploadOutcome passed = uploadTo(simplesUrl(), "%PDF");
    EXPECT_TRUE(passed.reply) << passed.failure.toStdString();
    EXPECT_FALSE(Soap::GetResult(ver2(), QStringLiteral("return")).isEmpty());
    EXPECT_EQ(credentials_.asked.size(), 6);
}

// The overview's parallel calls behind a proxy asking by Basic, with nothing
// remembered yet: each call meets the demand on its own, the password typed
// once answers them all, and none is told it was refused.
TEST_F(ProxyRoundTrip, ParallelCallsAskThePasswordOnceAndAllPass) {
    for (const int calls : {3, 4, 8}) {
        SCOPED_TRACE(calls);
        ProxyAuth session{&credentials_};
        credentials_.asked.clear();
        credentials_.answers = {kRight};
        SoapBatch batch(calls, &session);
        int answered = 0;
        QStringList failures;
        QObject::connect(&batch, &SoapBatch::answered, &batch, [&](int, const QString& answer) {
            answered += answer.contains(QStringLiteral("return")) ? 1 : 0;
        });
        QObject::connect(&batch, &SoapBatch::failed, &batch,
                         [&](int, const QString& reason) { failures << reason; });
        QList<SoapBatch::Call> list;
        for (int i = 0; i < calls; ++i)
            list.append({i, Soap::ServicePath, QStringLiteral("Transferencia.ver2"), {}});
        batch.run(list);
        ASSERT_TRUE(test::waitFor([&] { return answered + failures.size() == calls; }));
        EXPECT_EQ(answered, calls) << failures.join(QStringLiteral(" | ")).toStdString();
        ASSERT_EQ(credentials_.asked.size(), 1);
        EXPECT_FALSE(credentials_.asked[0].refused);
    }
}

TEST_F(ProxyRoundTrip, APasswordChangedAtTheProxyIsAskedAgainWithinTheCallKeepingTheUser) {
    credentials_.answers = {kRight};
    EXPECT_FALSE(Soap::GetResult(ver2(), QStringLiteral("return")).isEmpty());
    const Credentials changed{kRight.user, QStringLiteral("nova senha")};
    proxy_.requireCredentials(changed.user, changed.password);

    // The remembered password is refused: the same call asks once more,
    // saying so and offering the user name given before.
    credentials_.answers = {changed};
    EXPECT_FALSE(Soap::GetResult(ver2(), QStringLiteral("return")).isEmpty());
    ASSERT_EQ(credentials_.asked.size(), 2) << proxy_.requestLines().join(" | ").toStdString();
    EXPECT_TRUE(credentials_.asked[1].refused);
    EXPECT_EQ(credentials_.asked[1].user, kRight.user);

    // The upload takes the new password without asking.
    const UploadOutcome out = uploadTo(declarationUrl(), "PK");
    EXPECT_TRUE(out.reply) << out.failure.toStdString();
    EXPECT_EQ(credentials_.asked.size(), 2);
}

TEST_F(ProxyRoundTrip, AServerThatIsNotTheProxyNeverGetsThePassword) {
    credentials_.answers = {kRight};
    EXPECT_FALSE(Soap::GetResult(ver2(), QStringLiteral("return")).isEmpty());

    // A loopback server is reached directly, whatever the proxy settings.
    DemandingServer server;
    fixture_->writeIni(QStringLiteral("127.0.0.1"), QString::number(server.port()));
    const QString notTheProxy = ProxyAuth::refusalText(ProxyAuth::Demand::NotTheProxy);
    EXPECT_EQ(failedVer2(), notTheProxy);
    EXPECT_EQ(batchCall(), notTheProxy);
    const UploadOutcome out = uploadTo(declarationUrl(), "PK");
    EXPECT_FALSE(out.reply);
    EXPECT_EQ(out.failure, notTheProxy);

    EXPECT_FALSE(server.received.toLower().contains("proxy-authorization"))
        << server.received.toStdString();
    EXPECT_EQ(credentials_.asked.size(), 1);
}

TEST_F(ProxyRoundTrip, AProxysOwnBytesAreNeverTakenForTheServersVerdict) {
    const size_t received = sim().rawRequests().size();
    // A tunnel opened and then filled by the proxy itself.
    QByteArray garbage = allByteValues().repeated(4096);
    garbage.prepend("\x1f\x8b");
    proxy_.answerTunnelsWith(garbage);
    const UploadOutcome tunnel = uploadTo(declarationUrl(), "PK");
    EXPECT_FALSE(tunnel.reply);
    EXPECT_TRUE(tunnel.failure.startsWith(QStringLiteral("A resposta recebida não é do servidor")))
        << tunnel.failure.toStdString();

    // A demand for a password that cannot be read as one (its header has no
    // end): nobody is asked, the user is told the proxy's answer was refused,
    // in Portuguese, and no more of the header is read than its bound, for
    // the calls and the upload alike: the proxy could write little beyond
    // what the connection's buffers hold.
    proxy_.answerTunnelsWith({});
    proxy_.refuseWithHeaderOf(qint64(64) << 20);
    const QString unreadable = ProxyAuth::refusalText(ProxyAuth::Demand::None);
    const std::function<QString()> clients[] = {
        [this] { return failedVer2(); },
        [this] { return batchCall(); },
        [this] { return uploadTo(declarationUrl(), "PK").failure; },
    };
    for (const auto& client : clients) {
        const qint64 madeUp = proxy_.madeUpBytes();
        EXPECT_EQ(client(), unreadable);
        EXPECT_LT(proxy_.madeUpBytes() - madeUp, qint64(8) << 20);
    }

    // A demand by a method neither the tunnel nor Qt's proxy layer answers
    // is said so, and nobody is asked.
    proxy_.refuseWithHeaderOf(0);
    proxy_.challengeWith("Bearer realm=\"escritorio, Basic aqui\"");
    const UploadOutcome bearer = uploadTo(declarationUrl(), "PK");
    EXPECT_FALSE(bearer.reply);
    EXPECT_EQ(bearer.failure, QStringLiteral("O proxy pede a senha por um método que o envio de "
                                             "arquivos não atende."));
    EXPECT_TRUE(credentials_.asked.isEmpty());
    EXPECT_EQ(sim().rawRequests().size(), received);
}

// A proxy that asks by Digest only: the upload goes on through Qt's proxy
// layer, answered by ProxyAuth under its rules: a refused answer is asked
// once more, then the upload fails and the answer is forgotten.
TEST_F(ProxyRoundTrip, AProxyAskingByDigestOnlyGetsTheUploadsPasswordThroughQt) {
    proxy_.requireDigest(kRight.user, kRight.password);
    credentials_.answers = {kWrong, kWrong};
    const UploadOutcome refused = uploadTo(declarationUrl(), "PK");
    EXPECT_FALSE(refused.reply);
    EXPECT_EQ(refused.failure, kRefused);

    credentials_.answers = {kRight};
    const UploadOutcome passed = uploadTo(declarationUrl(), "PK");
    ASSERT_TRUE(passed.reply) << passed.failure.toStdString();
    expectLastUploadIsTheRendering(declarationUrl(), "PK");
    ASSERT_EQ(credentials_.asked.size(), 3);
    EXPECT_TRUE(credentials_.asked[1].refused);
    EXPECT_EQ(credentials_.asked[1].user, kWrong.user);
    EXPECT_FALSE(credentials_.asked[2].refused);

    // The calls answer that method themselves, with the remembered answer,
    // without asking again.
    EXPECT_NO_THROW(ver2());
    EXPECT_TRUE(batchCall().contains(QStringLiteral("return")));
    EXPECT_EQ(credentials_.asked.size(), 3);
    EXPECT_TRUE(proxy_.requestLines().last().startsWith("POST http://"));
}

TEST(ProxyChoice, EachModeNamesTheProxyAndLoopbackIsAlwaysDirect) {
    using ProxySettings::Mode;
    // What the system offers, as the environment tells it; the process's own
    // values come back afterwards.
    struct Env {
        const char* name;
        QByteArray saved;
        bool was;
        Env(const char* n, const char* value)
            : name(n), saved(qgetenv(n)), was(qEnvironmentVariableIsSet(n)) {
            qputenv(n, value);
        }
        ~Env() { was ? void(qputenv(name, saved)) : void(qunsetenv(name)); }
    } httpProxy("http_proxy", "http://10.9.8.7:3128"), noProxy("no_proxy", "interno.test");
    struct Case {
        Mode mode;
        const char* target;
        QNetworkProxy::ProxyType type;
        const char* host;
        quint16 port;
    };
    const Case cases[] = {
        {Mode::Manual, "valdoria.test", QNetworkProxy::HttpProxy, "proxy.escritorio", 8080},
        {Mode::None, "valdoria.test", QNetworkProxy::NoProxy, "", 0},
        {Mode::System, "valdoria.test", QNetworkProxy::HttpProxy, "10.9.8.7", 3128},
        {Mode::System, "interno.test", QNetworkProxy::NoProxy, "", 0},
        {Mode::Manual, "127.0.0.1", QNetworkProxy::NoProxy, "", 0},
        {Mode::Manual, "127.8.9.10", QNetworkProxy::NoProxy, "", 0},
        {Mode::Manual, "LocalHost", QNetworkProxy::NoProxy, "", 0},
        {Mode::Manual, "[::1]", QNetworkProxy::NoProxy, "", 0},
        {Mode::System, "127.0.0.1", QNetworkProxy::NoProxy, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        const QNetworkProxy p = ProxySettings::proxyFor(
            {c.mode, QStringLiteral("proxy.escritorio"), 8080}, QString::fromLatin1(c.target), 80);
        EXPECT_EQ(p.type(), c.type);
        if (c.type == QNetworkProxy::HttpProxy) {
            EXPECT_EQ(p.hostName(), QString::fromLatin1(c.host));
            EXPECT_EQ(p.port(), c.port);
        }
    }
}

TEST_F(ProxyRoundTrip, AManualProxyWithoutPortStopsCallAndUploadBeforeSending) {
    const size_t received = sim().rawRequests().size();
    fixture_->writeIni(kServerName, QString::number(fixture_->port()));
    ASSERT_TRUE(
        ProxySettings::write({ProxySettings::Mode::Manual, QStringLiteral("127.0.0.1"), 0}));
    EXPECT_THROW(ver2(), NetworkError);
    const UploadOutcome out = uploadTo(declarationUrl(), "PK");
    EXPECT_FALSE(out.reply);
    EXPECT_EQ(out.failure,
              QStringLiteral("O proxy manual não tem host ou porta nas configurações."));
    EXPECT_TRUE(proxy_.requestLines().isEmpty());
    EXPECT_EQ(sim().rawRequests().size(), received);
}

} // namespace
} // namespace dadav::e2e
