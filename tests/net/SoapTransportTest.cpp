// The SOAP transport against real loopback servers started by the test: the
// bytes and headers that go out, what comes back for every HTTP status, and
// each way a call can fail without an answer.
#include "net/SoapTransport.h"
#include "base/AppPaths.h"
#include "net/NetworkError.h"
#include "net/SoapBatch.h"
#include "platform/BusyIndicator.h"
#include "support/AppFolderTest.h"
#include "support/WaitFor.h"

#include <QFile>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace {

using Soap::SoapParam;

struct Received {
    std::string method;
    std::string target;
    std::multimap<std::string, std::string, httplib::detail::ci> headers;
    std::string body;
};

// cpp-httplib server on its own thread on 127.0.0.1, an ephemeral port; every
// request is recorded and answered by the given handler.
class LoopbackServer {
public:
    explicit LoopbackServer(httplib::Server::Handler handler) {
        const auto record = [this, handler](const httplib::Request& req, httplib::Response& res) {
            {
                const std::lock_guard lock(m_mutex);
                m_received.push_back({req.method, req.target, req.headers, req.body});
            }
            handler(req, res);
        };
        m_server.Post(".*", record);
        m_server.Get(".*", record);
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
    }
    ~LoopbackServer() {
        m_server.stop();
        m_thread.join();
    }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const { return m_port; }
    std::vector<Received> received() const {
        const std::lock_guard lock(m_mutex);
        return m_received;
    }

private:
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::vector<Received> m_received;
};

httplib::Server::Handler answer(int status, std::string body) {
    return [status, body](const httplib::Request&, httplib::Response& res) {
        res.status = status;
        res.set_content(body, "text/xml; charset=utf-8");
    };
}

class RecordingBusy : public BusyIndicator {
public:
    void begin() override { ++begins; }
    void end() override {
        ++ends;
        cancel = nullptr;
    }
    // Takes every offer; cancels after cancelAfter when that is set, as a user
    // pressing "Cancelar" would.
    bool offerCancel(std::function<void()> c) override {
        ++offers;
        cancel = std::move(c);
        if (cancelAfter)
            QTimer::singleShot(*cancelAfter, &timerOwner, [this] {
                if (cancel)
                    cancel();
            });
        return true;
    }
    int begins = 0;
    int ends = 0;
    int offers = 0;
    std::optional<std::chrono::milliseconds> cancelAfter;
    std::function<void()> cancel;
    QObject timerOwner; // a pending cancel goes with the recorder
};

// Headers at once, then a body of `bytes` bytes one at a time every `pause`
// (chunked), as long as the client keeps reading.
httplib::Server::Handler trickle(int bytes, std::chrono::milliseconds pause) {
    return [bytes, pause](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("text/xml",
                                         [bytes, pause](size_t offset, httplib::DataSink& sink) {
                                             if (offset >= static_cast<size_t>(bytes)) {
                                                 sink.done();
                                                 return true;
                                             }
                                             std::this_thread::sleep_for(pause);
                                             return sink.write("x", 1);
                                         });
    };
}

class SoapTransportTest : public AppFolderTest {
protected:
    void pointAt(int port) {
        writeIni("[servidor]\r\nhost=127.0.0.1\r\nport=" + QByteArray::number(port) + "\r\n");
    }

    // The failure of a call that is expected to fail.
    static std::optional<NetworkError> failureOf(SoapTransport& transport) {
        try {
            transport.call(QString(Soap::ServicePath), QStringLiteral("Transferencia.ver2"), {});
        } catch (const NetworkError& e) {
            return e;
        }
        return std::nullopt;
    }

    RecordingBusy busy;
};

TEST_F(SoapTransportTest, SendsTheEnvelopeAndHeadersExactlyAndReturnsTheBody) {
    const std::string reply =
        "<a><b><c><return>Ol\xC3\xA1, S\xC3\xA3o Jo\xC3\xA3o</return></c></b></a>";
    LoopbackServer server(answer(200, reply));
    pointAt(server.port());
    SoapTransport transport(&busy);

    const QList<SoapParam> params = {{QStringLiteral("strNome"), QStringLiteral("77123456")},
                                     {QStringLiteral("strDiretorioDestino"), QStringLiteral("vbs")},
                                     {QStringLiteral("Chave"), QStringLiteral("São&<>")}};
    const QString body =
        transport.call(QString(Soap::ServicePath), QStringLiteral("Transferencia.ver2"), params);

    EXPECT_EQ(body, QString::fromUtf8(reply.data(), static_cast<qsizetype>(reply.size())));
    EXPECT_EQ(Soap::GetResult(body, QStringLiteral("return")), QStringLiteral("Olá, São João"));
    const auto got = server.received();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].method, "POST");
    EXPECT_EQ(got[0].target, "/orn/server/index.php?wsdl");
    EXPECT_EQ(got[0].headers.count("Content-Type"), 1u);
    EXPECT_EQ(got[0].headers.find("Content-Type")->second, "text/xml");
    EXPECT_EQ(got[0].headers.count("SOAPAction"), 1u);
    EXPECT_EQ(got[0].headers.find("SOAPAction")->second, "Transferencia.ver2");
    const QByteArray expectedBody =
        Soap::BuildSoapRequest(QStringLiteral("Transferencia.ver2"), params).toUtf8();
    EXPECT_EQ(got[0].body, expectedBody.toStdString());
    EXPECT_NE(got[0].body.find("<Chave>S\xC3\xA3o&amp;&lt;&gt;</Chave>"), std::string::npos);
    EXPECT_EQ(busy.begins, 1);
    EXPECT_EQ(busy.ends, 1);
}

TEST_F(SoapTransportTest, AccountantOperationGoesToItsOwnPath) {
    LoopbackServer server(answer(200, "ok"));
    pointAt(server.port());
    SoapTransport transport;
    transport.call(QString(Soap::AccountantServicePath), QStringLiteral("Transferencia.contador"),
                   {{QStringLiteral("thisCont_cpf_cnpj"), QStringLiteral("1")}});
    const auto got = server.received();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].target, "/orn/server/index_dapi.php?wsdl");
    EXPECT_EQ(got[0].headers.find("SOAPAction")->second, "Transferencia.contador");
}

TEST_F(SoapTransportTest, AnyHttpStatusStillReturnsTheBody) {
    struct StatusCase {
        int status;
        std::string body;
    };
    const StatusCase cases[] = {
        {500, "<soap:Fault>erro interno</soap:Fault>"},
        {404, "not here"},
        {401, "who are you"},
        {200, ""},
        // Redirects are not followed: the 3xx answer itself comes back.
        {302, "moved elsewhere"},
    };
    for (const StatusCase& c : cases) {
        LoopbackServer server([&c](const httplib::Request& req, httplib::Response& res) {
            if (req.path == "/elsewhere") {
                res.set_content("followed", "text/plain");
                return;
            }
            res.status = c.status;
            if (c.status == 302)
                res.set_header("Location", "/elsewhere");
            res.set_content(c.body, "text/plain");
        });
        pointAt(server.port());
        SoapTransport transport;
        EXPECT_EQ(
            transport.call(QString(Soap::ServicePath), QStringLiteral("Transferencia.ver"), {})
                .toStdString(),
            c.body)
            << c.status;
        EXPECT_EQ(server.received().size(), 1u) << c.status;
    }
}

// A 2xx status whose body cannot be taken (a compressed body that does not
// decompress) is a failed call, never an empty success.
TEST_F(SoapTransportTest, AnswerWhoseBodyCannotBeReadIsAFailure) {
    // Answers every request with a 200 whose body claims gzip but is not.
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&server] {
        QTcpSocket* socket = server.nextPendingConnection();
        auto request = std::make_shared<QByteArray>();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, request] {
            *request += socket->readAll();
            if (!request->endsWith("</soap12:Envelope>"))
                return; // the envelope has not arrived whole yet
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n"
                          "Content-Encoding: gzip\r\nContent-Length: 12\r\n"
                          "Connection: close\r\n\r\nnot gzip at ");
            socket->disconnectFromHost();
        });
    });
    pointAt(server.serverPort());
    SoapTransport transport;
    const auto failure = failureOf(transport);
    ASSERT_TRUE(failure.has_value());
    EXPECT_NE(failure->number(), 0);
}

TEST_F(SoapTransportTest, RefusedConnectionRaisesNetworkError) {
    int freePort = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
        freePort = probe.serverPort();
    }
    pointAt(freePort);
    SoapTransport transport(&busy);
    const auto failure = failureOf(transport);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->number(), static_cast<qint32>(QNetworkReply::ConnectionRefusedError));
    EXPECT_FALSE(failure->description().isEmpty());
    EXPECT_EQ(busy.begins, 1);
    EXPECT_EQ(busy.ends, 1);
}

TEST_F(SoapTransportTest, ServerThatNeverAnswersHitsTheReadTimeout) {
    // Accepts the connection and reads the request, but never answers.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    QByteArray request;
    QObject::connect(&silent, &QTcpServer::newConnection, &silent, [&] {
        QTcpSocket* socket = silent.nextPendingConnection();
        QObject::connect(socket, &QTcpSocket::readyRead, socket,
                         [&request, socket] { request += socket->readAll(); });
    });
    pointAt(silent.serverPort());

    SoapTransport transport(&busy, SoapTimeouts{std::chrono::seconds(10), std::chrono::seconds(1)});
    const auto failure = failureOf(transport);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->number(), NetworkError::ReadTimeout);
    EXPECT_TRUE(request.contains("SOAPAction: Transferencia.ver2")) << request.constData();
    EXPECT_EQ(busy.ends, busy.begins);
}

TEST_F(SoapTransportTest, SettingsEditsTakeEffectAtTheNextCall) {
    LoopbackServer first(answer(200, "first"));
    LoopbackServer second(answer(200, "second"));
    SoapTransport transport;
    const auto callOnce = [&] {
        return transport.call(QString(Soap::ServicePath), QStringLiteral("Transferencia.ver2"), {});
    };

    pointAt(first.port());
    EXPECT_EQ(callOnce(), QStringLiteral("first"));
    pointAt(second.port());
    EXPECT_EQ(callOnce(), QStringLiteral("second"));
    writeIni("[servidor]\r\nhost=\r\nport=" + QByteArray::number(second.port()) + "\r\n");
    EXPECT_THROW(callOnce(), NetworkError);
    pointAt(first.port());
    EXPECT_EQ(callOnce(), QStringLiteral("first"));

    EXPECT_EQ(first.received().size(), 2u);
    EXPECT_EQ(second.received().size(), 1u);
}

TEST_F(SoapTransportTest, MissingOrInvalidAddressFailsBeforeSending) {
    LoopbackServer server(answer(200, "should not be reached"));
    const QByteArray port = QByteArray::number(server.port());
    const QByteArray settings[] = {
        "[servidor]\nport=" + port + "\n",               // no host
        "[servidor]\nhost=127.0.0.1\n",                  // no port
        "[servidor]\nhost=x\nport=" + port + "\n",       // one-character host reads empty
        "[outro]\nhost=127.0.0.1\nport=" + port + "\n",  // no section
        "[servidor]\nhost=127.0.0.1\nport=porta\n",      // port not numeric
        "[servidor]\nhost=127.0.0.1\nport=99999\n",      // port out of range
        "[servidor]\nhost=my host\nport=" + port + "\n", // blank inside the host
        // A port, path or user inside the host would send the call elsewhere.
        "[servidor]\nhost=127.0.0.1:" + port + "/x?\nport=1\n",
        "[servidor]\nhost=user:pw@127.0.0.1\nport=" + port + "\n",
        "[servidor]\nhost=127.0.0.1/x\nport=" + port + "\n",
    };
    SoapTransport transport(&busy);
    for (const QByteArray& ini : settings) {
        writeIni(ini);
        const auto failure = failureOf(transport);
        ASSERT_TRUE(failure.has_value()) << ini.constData();
        EXPECT_EQ(failure->number(), NetworkError::InvalidAddress) << ini.constData();
    }
    ASSERT_TRUE(QFile::remove(AppPaths::IniPath()));
    EXPECT_TRUE(failureOf(transport).has_value());
    EXPECT_TRUE(server.received().empty());
}

TEST_F(SoapTransportTest, AnswerLargerThanTheBoundIsRefusedWithoutReadingOn) {
    constexpr auto bound = static_cast<size_t>(SoapTransport::kMaxAnswerBytes);
    struct LargeCase {
        const char* label;
        bool declaredLength;
        // The client's thread is held once the answer has begun, as on a
        // loaded machine: whatever Qt's network thread reads meanwhile piles
        // up unless the reading waits for the reader.
        bool busyClient;
        bool parallel; // through the overview's parallel calls
        size_t offered;
    };
    const LargeCase cases[] = {
        {"chunked", false, false, false, bound + 256 * 1024},
        {"declared length", true, false, false, bound + 256 * 1024},
        {"chunked to a busy client", false, true, false, size_t(256) << 20},
        {"chunked to a busy client, parallel calls", false, true, true, size_t(256) << 20},
    };
    for (const LargeCase& c : cases) {
        std::atomic<size_t> served{0};
        const auto provide = [&served, &c](size_t offset, size_t, httplib::DataSink& sink) {
            if (offset >= c.offered) {
                sink.done();
                return true;
            }
            static const std::string block(64 * 1024, 'a');
            served += block.size();
            return sink.write(block.data(), block.size());
        };
        LoopbackServer server([&](const httplib::Request&, httplib::Response& res) {
            if (c.declaredLength)
                res.set_content_provider(c.offered, "application/soap+xml", provide);
            else
                res.set_chunked_content_provider("application/soap+xml",
                                                 [provide](size_t offset, httplib::DataSink& sink) {
                                                     return provide(offset, 0, sink);
                                                 });
        });
        pointAt(server.port());
        // Held once, as soon as the server has begun to answer.
        QTimer hold;
        QObject::connect(&hold, &QTimer::timeout, &hold, [&] {
            if (served.load() == 0)
                return;
            hold.stop();
            std::this_thread::sleep_for(std::chrono::seconds(1));
        });
        if (c.busyClient)
            hold.start(1);
        if (c.parallel) {
            SoapBatch batch(1);
            QString reason;
            QObject::connect(&batch, &SoapBatch::failed, &batch,
                             [&](int, const QString& why) { reason = why; });
            batch.run({{1, Soap::ServicePath, QStringLiteral("Transferencia.ver2"), {}}});
            ASSERT_TRUE(dadav::test::waitFor([&] { return !reason.isEmpty(); })) << c.label;
            EXPECT_EQ(reason, QStringLiteral("A resposta passou de %1 bytes").arg(bound))
                << c.label;
        } else {
            SoapTransport transport(&busy);
            const auto failure = failureOf(transport);
            ASSERT_TRUE(failure.has_value()) << c.label;
            EXPECT_EQ(failure->number(), NetworkError::AnswerTooLarge) << c.label;
        }
        // What the server could write is the bound and the connection's
        // buffers, not what the client's network thread could read.
        EXPECT_LT(served.load(), size_t(32) << 20) << c.label;
    }
    EXPECT_EQ(busy.ends, busy.begins);
}

TEST_F(SoapTransportTest, TricklingAnswerEndsAtTheTotalDeadline) {
    // 40 bytes at 100 ms each: every byte comes well within the read
    // time-out, the whole answer long after the total deadline.
    LoopbackServer server(trickle(40, std::chrono::milliseconds(100)));
    pointAt(server.port());
    SoapTransport transport(&busy, SoapTimeouts{std::chrono::seconds(10), std::chrono::seconds(10),
                                                std::chrono::seconds(1)});
    const auto failure = failureOf(transport);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->number(), NetworkError::DeadlineExpired);
    EXPECT_EQ(busy.ends, busy.begins);
}

TEST_F(SoapTransportTest, UserMayCancelACallThatLasts) {
    LoopbackServer server(trickle(40, std::chrono::milliseconds(100)));
    pointAt(server.port());
    busy.cancelAfter = std::chrono::milliseconds(300);
    SoapTransport transport(&busy,
                            SoapTimeouts{std::chrono::seconds(10), std::chrono::seconds(10),
                                         std::chrono::seconds(30), std::chrono::milliseconds(200)});
    const auto failure = failureOf(transport);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->number(), NetworkError::Cancelled);
    EXPECT_EQ(busy.offers, 1);
    EXPECT_EQ(busy.ends, busy.begins);

    // A quick call is over before anything is offered.
    LoopbackServer quick(answer(200, "ok"));
    pointAt(quick.port());
    busy.offers = 0;
    EXPECT_EQ(transport.call(QString(Soap::ServicePath), QStringLiteral("Transferencia.ver2"), {}),
              QStringLiteral("ok"));
    EXPECT_EQ(busy.offers, 0);
}

TEST_F(SoapTransportTest, AnswerIsDecodedByItsDeclaredCharset) {
    struct CharsetCase {
        const char* label;
        const char* contentType;
        std::string body;
        const char* expected; // UTF-8
    };
    const CharsetCase cases[] = {
        {"Latin-1 in the header", "text/xml; charset=ISO-8859-1", "S\xE3o Jo\xE3o",
         "S\xC3\xA3o Jo\xC3\xA3o"},
        {"quoted, other case", "text/xml;Charset=\"iso-8859-1\"", "a\xE7\xE3o",
         "a\xC3\xA7\xC3\xA3o"},
        {"Latin-1 in the XML declaration", "text/xml",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>\xC9</r>",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>\xC3\x89</r>"},
        {"header wins over declaration", "text/xml; charset=utf-8",
         "<?xml version='1.0' encoding='ISO-8859-1'?><r>\xC3\x89</r>",
         "<?xml version='1.0' encoding='ISO-8859-1'?><r>\xC3\x89</r>"},
        {"none named: UTF-8", "text/xml", "Ol\xC3\xA1", "Ol\xC3\xA1"},
        {"unknown name: UTF-8", "text/xml; charset=x-nenhum", "Ol\xC3\xA1", "Ol\xC3\xA1"},
        {"byte-order mark wins", "text/xml; charset=ISO-8859-1", "\xEF\xBB\xBFOl\xC3\xA1",
         "Ol\xC3\xA1"},
    };
    for (const CharsetCase& c : cases) {
        LoopbackServer server([&c](const httplib::Request&, httplib::Response& res) {
            res.set_content(c.body, c.contentType);
        });
        pointAt(server.port());
        SoapTransport transport;
        EXPECT_EQ(
            transport.call(QString(Soap::ServicePath), QStringLiteral("Transferencia.ver2"), {})
                .toStdString(),
            c.expected)
            << c.label;
    }
}

} // namespace
