// The SOAP transport against real loopback servers started by the test: the
// bytes and headers that go out, what comes back for every HTTP status, and
// each way a call can fail without an answer.
#include "net/SoapTransport.h"
#include "base/AppPaths.h"
#include "net/HttpHead.h"
#include "net/NetworkError.h"
#include "net/SoapBatch.h"
#include "net/SoapRequest.h"
#include "platform/BusyIndicator.h"
#include "support/AppFolderTest.h"
#include "support/WaitFor.h"

#include <QBuffer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <brotli/encode.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <zlib.h>
#include <zstd.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
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
// request is recorded and answered by the given handler, and the connection
// closed after it, as a server of the HTTP/1.0 kind does (a kept-alive one
// would hold the server's end for its idle time).
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
        m_server.set_keep_alive_max_count(1);
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

// A server that answers every request with "200 OK" and then header fields
// without end, written only as fast as the client reads them; counts what it
// wrote into served.
class EndlessHeaderPeer {
public:
    explicit EndlessHeaderPeer(std::atomic<size_t>& served) : m_served(served) {
        if (!m_server.listen(QHostAddress::LocalHost))
            throw std::runtime_error("the endless header peer cannot listen");
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            QTcpSocket* socket = m_server.nextPendingConnection();
            const auto more = [this, socket] {
                static const QByteArray field =
                    "X-Preenchimento: " + QByteArray(1000, 'a') + "\r\n";
                while (socket->state() == QAbstractSocket::ConnectedState &&
                       socket->bytesToWrite() < 256 * 1024)
                    m_served += size_t(socket->write(field));
            };
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, more] {
                if (socket->readAll().isEmpty() || socket->property("answering").toBool())
                    return;
                socket->setProperty("answering", true);
                socket->write("HTTP/1.1 200 OK\r\n");
                more();
            });
            QObject::connect(socket, &QTcpSocket::bytesWritten, socket, more);
        });
    }
    quint16 port() const { return m_server.serverPort(); }

private:
    std::atomic<size_t>& m_served;
    QTcpServer m_server;
};

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

// The head of a proxy's answer to the uploads' tunnel is taken up to its
// blank line however its lines end, and never past it or past the bound,
// whether it comes whole or a byte at a time.
TEST(HttpHeadTake, EndsAtTheBlankLineWhateverTheLineEnds) {
    struct HeadCase {
        const char* label;
        QByteArray bytes;
        HttpHead::Progress progress;
        qsizetype headSize;
    };
    const QByteArray tooLong = "HTTP/1.1 200 OK\r\nX: " + QByteArray(HttpHead::kMaxBytes, 'a');
    const HeadCase cases[] = {
        {"CRLF", "HTTP/1.1 200 OK\r\nA: b\r\n\r\nrest", HttpHead::Progress::Whole, 25},
        {"LF", "HTTP/1.1 200 OK\nA: b\n\nrest", HttpHead::Progress::Whole, 22},
        {"LF, then CRLF", "HTTP/1.1 200 OK\nA: b\n\r\nrest", HttpHead::Progress::Whole, 23},
        {"no blank line yet", "HTTP/1.1 200 OK\r\nA: b\r\n", HttpHead::Progress::Partial, 23},
        {"past the bound", tooLong, HttpHead::Progress::TooLong, HttpHead::kMaxBytes},
    };
    for (const HeadCase& c : cases) {
        for (const bool byteByByte : {false, true}) {
            if (byteByByte && c.progress == HttpHead::Progress::TooLong)
                continue; // a byte at a time, the bound is a long way off
            QBuffer device;
            device.open(QIODevice::ReadWrite);
            QByteArray head;
            HttpHead::Progress progress = HttpHead::Progress::Partial;
            for (qsizetype at = 0; at < c.bytes.size() && progress == HttpHead::Progress::Partial;
                 at += byteByByte ? 1 : c.bytes.size()) {
                const qint64 read = device.pos();
                device.seek(device.size());
                device.write(c.bytes.mid(at, byteByByte ? 1 : -1));
                device.seek(read);
                progress = HttpHead::take(device, head);
            }
            EXPECT_EQ(progress, c.progress) << c.label << (byteByByte ? ", byte by byte" : "");
            EXPECT_EQ(head.size(), c.headSize) << c.label << (byteByByte ? ", byte by byte" : "");
        }
    }
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

QByteArray gzip(const QByteArray& plain);

TEST_F(SoapTransportTest, AnyHttpStatusStillReturnsTheBody) {
    struct StatusCase {
        int status;
        std::string body;
        // The body is gzip that stops decoding after a first part was read:
        // the call fails, its part is no answer.
        bool breaksLater = false;
    };
    const StatusCase cases[] = {
        {500, "<soap:Fault>erro interno</soap:Fault>"},
        {500, "<soap:Fault>erro interno</soap:Fault>", true},
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
            if (!c.breaksLater) {
                res.set_content(c.body, "text/plain");
                return;
            }
            res.set_header("Content-Encoding", "gzip");
            const QByteArray gzipped = gzip(QByteArray::fromStdString(c.body).repeated(2000));
            // A type the server library would not compress again.
            res.set_chunked_content_provider(
                "application/octet-stream", [gzipped](size_t offset, httplib::DataSink& sink) {
                    // The break comes as a chunk of its own after the first
                    // part: whenever the client reads it, the call fails.
                    if (offset > 0) {
                        sink.write("not gzip", 8);
                        sink.done();
                        return true;
                    }
                    return sink.write(gzipped.constData(), size_t(gzipped.size() - 8));
                });
        });
        pointAt(server.port());
        SoapTransport transport;
        if (c.breaksLater) {
            const auto failure = failureOf(transport);
            ASSERT_TRUE(failure.has_value()) << "a broken body came back as the answer";
            EXPECT_EQ(failure->number(), qint32(QNetworkReply::ProtocolFailure));
            continue;
        }
        EXPECT_EQ(
            transport.call(QString(Soap::ServicePath), QStringLiteral("Transferencia.ver"), {})
                .toStdString(),
            c.body)
            << c.status;
        EXPECT_EQ(server.received().size(), 1u) << c.status;
    }
}

// A loopback peer that answers each request, once its body is in
// (Content-Length), as its script says for the connection's nth request
// (from 1): the bytes to write and whether to close the connection after them.
// By default every request gets the same bytes and the connection is closed.
// Keeps what each connection sent.
class RawPeer {
public:
    struct Turn {
        QByteArray answer;
        bool close = true;
    };
    using Script = std::function<Turn(int connection, int request)>;

    explicit RawPeer(QByteArray answer)
        : RawPeer([answer](int, int) {
              return Turn{answer, true};
          }) {}
    explicit RawPeer(Script script) : m_script(std::move(script)) {
        if (!m_server.listen(QHostAddress::LocalHost))
            throw std::runtime_error("the raw peer cannot listen");
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            QTcpSocket* socket = m_server.nextPendingConnection();
            const qsizetype index = requests.size();
            requests.append(QByteArray());
            auto pending = std::make_shared<QByteArray>();
            auto served = std::make_shared<int>(0);
            QObject::connect(
                socket, &QTcpSocket::readyRead, socket, [this, socket, index, pending, served] {
                    const QByteArray bytes = socket->readAll();
                    requests[index] += bytes;
                    *pending += bytes;
                    for (;;) {
                        const qsizetype end = pending->indexOf("\r\n\r\n");
                        const QByteArray head = pending->left(end).toLower();
                        const qsizetype at = head.indexOf("content-length: ");
                        if (end < 0 || at < 0)
                            return;
                        const qsizetype whole =
                            end + 4 + head.mid(at + 16).split('\r').first().toLongLong();
                        if (pending->size() < whole)
                            return; // the request has not arrived whole yet
                        pending->remove(0, whole);
                        ++total;
                        const Turn turn = m_script(int(index), ++*served);
                        socket->write(turn.answer);
                        if (turn.close) {
                            socket->disconnectFromHost();
                            return;
                        }
                    }
                });
        });
    }
    quint16 port() const { return m_server.serverPort(); }
    QList<QByteArray> requests; // per connection, in order
    int total = 0;              // requests received whole

private:
    Script m_script;
    QTcpServer m_server;
};

QByteArray gzip(const QByteArray& plain) {
    z_stream z{};
    deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(static_cast<qsizetype>(deflateBound(&z, static_cast<uLong>(plain.size()))) + 32,
                   Qt::Uninitialized);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.constData()));
    z.avail_in = static_cast<uInt>(plain.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.truncate(static_cast<qsizetype>(z.total_out));
    deflateEnd(&z);
    return out;
}

QByteArray brotli(const QByteArray& plain, int quality = BROTLI_DEFAULT_QUALITY) {
    size_t size = BrotliEncoderMaxCompressedSize(static_cast<size_t>(plain.size()));
    QByteArray out(static_cast<qsizetype>(size), Qt::Uninitialized);
    BrotliEncoderCompress(quality, BROTLI_DEFAULT_WINDOW, BROTLI_MODE_TEXT,
                          static_cast<size_t>(plain.size()),
                          reinterpret_cast<const uint8_t*>(plain.constData()), &size,
                          reinterpret_cast<uint8_t*>(out.data()));
    out.truncate(static_cast<qsizetype>(size));
    return out;
}

QByteArray zstd(const QByteArray& plain) {
    QByteArray out(static_cast<qsizetype>(ZSTD_compressBound(static_cast<size_t>(plain.size()))),
                   Qt::Uninitialized);
    out.truncate(static_cast<qsizetype>(ZSTD_compress(out.data(), static_cast<size_t>(out.size()),
                                                      plain.constData(),
                                                      static_cast<size_t>(plain.size()), 3)));
    return out;
}

// bytes as an HTTP chunked body in pieces of piece bytes, with an extension
// on the first size line and a trailer field.
QByteArray chunked(const QByteArray& bytes, qsizetype piece) {
    QByteArray out;
    for (qsizetype at = 0; at < bytes.size(); at += piece) {
        const QByteArray part = bytes.mid(at, piece);
        out += QByteArray::number(part.size(), 16) + (at == 0 ? ";parte=1" : "") + "\r\n" + part +
               "\r\n";
    }
    return out + "0\r\nX-Fim: sim\r\n\r\n";
}

// Answers framed and encoded every way Qt's network access takes them: the
// body comes back decoded; a body that does not decode, or is cut short, is
// a failed call, never an empty success.
TEST_F(SoapTransportTest, AnswersAreUnframedAndDecoded) {
    // Large enough to span many read-ahead pieces once decoded.
    QByteArray text;
    for (int i = 0; text.size() < 300 * 1024; ++i)
        text += "<linha n=\"" + QByteArray::number(i) + "\">S\xC3\xA3o Jo\xC3\xA3o</linha>";
    const QByteArray deflated = qCompress(text).mid(4); // the zlib stream alone
    struct RawCase {
        const char* label;
        QByteArray answer;
        bool passes;
        qint32 failsWith = 0; // the failure's number; 0: any
    };
    const QByteArray ok = "HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8\r\n";
    const auto length = [](const QByteArray& body) {
        return "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    };
    const QByteArray gzipped = gzip(text);
    // A few KiB of each coding that decode to far more than the answer bound.
    const QByteArray zeros(64 << 20, '\0');
    const QByteArray bombs[] = {gzip(zeros), qCompress(zeros).mid(4), brotli(zeros, 1),
                                zstd(zeros)};
    const qint32 protocolFailure = QNetworkReply::ProtocolFailure;
    const RawCase cases[] = {
        {"chunked, gzip",
         ok + "Content-Encoding: gzip\r\nTransfer-Encoding: chunked\r\n\r\n" +
             chunked(gzip(text), 1000),
         true},
        {"length, deflate",
         ok + "Content-Encoding: deflate\r\nContent-Length: " +
             QByteArray::number(deflated.size()) + "\r\n\r\n" + deflated,
         true},
        {"up to the close, after an interim 100",
         "HTTP/1.1 100 Continue\r\n\r\n" + ok + "Connection: close\r\n\r\n" + text, true},
        {"chunked, plain", ok + "Transfer-Encoding: chunked\r\n\r\n" + chunked(text, 70000), true},
        {"chunked, br",
         ok + "Content-Encoding: br\r\nTransfer-Encoding: chunked\r\n\r\n" +
             chunked(brotli(text), 5000),
         true},
        {"up to the close, zstd",
         ok + "Content-Encoding: zstd\r\nConnection: close\r\n\r\n" + zstd(text), true},
        {"claims gzip but is not",
         ok + "Content-Encoding: gzip\r\nContent-Length: 12\r\n\r\nnot gzip at ", false},
        {"cut short of its length",
         ok + "Content-Length: " + QByteArray::number(text.size() + 1) + "\r\n\r\n" + text, false},
        {"cut inside a chunk",
         ok + "Transfer-Encoding: chunked\r\n\r\n" + chunked(text, 70000).left(100000), false},
        {"gzip cut short, its length matching",
         ok + "Content-Encoding: gzip\r\n" + length(gzipped.left(gzipped.size() / 2)) + "\r\n" +
             gzipped.left(gzipped.size() / 2),
         false, protocolFailure},
        {"chunked gzip cut short, then a trailer",
         ok + "Content-Encoding: gzip\r\nTransfer-Encoding: chunked\r\n\r\n" +
             chunked(gzipped.left(gzipped.size() / 2), 1000),
         false, protocolFailure},
        {"gzip without its CRC and length",
         ok + "Content-Encoding: gzip\r\n" + length(gzipped.chopped(8)) + "\r\n" +
             gzipped.chopped(8),
         false, protocolFailure},
        {"zstd one byte short",
         ok + "Content-Encoding: zstd\r\nConnection: close\r\n\r\n" + zstd(text).chopped(1), false,
         protocolFailure},
        {"a second gzip member after the answer",
         ok + "Content-Encoding: gzip\r\n" + length(gzipped + gzip(zeros)) + "\r\n" + gzipped +
             gzip(zeros),
         false, protocolFailure},
        {"bytes after the brotli stream",
         ok + "Content-Encoding: br\r\nConnection: close\r\n\r\n" + brotli(text) + "x", false,
         protocolFailure},
        {"negative length", ok + "Content-Length: -1\r\n\r\n" + text, false, protocolFailure},
        {"length past any number", ok + "Content-Length: 100000000000000000000000\r\n\r\n" + text,
         false, protocolFailure},
        {"two lengths in one field", ok + "Content-Length: 334, 341\r\n\r\n" + text, false,
         protocolFailure},
        {"two fields of different lengths",
         ok + length(text) + length(text + "1234567") + "\r\n" + text, false, protocolFailure},
        {"the same length twice", ok + length(text) + length(text) + "\r\n" + text, true},
        {"an unsolicited 101",
         "HTTP/1.1 101 Switching Protocols\r\nUpgrade: h2c\r\n\r\n" + ok + length(text) + "\r\n" +
             text,
         false, protocolFailure},
        {"interim heads without end",
         QByteArray("HTTP/1.1 100 Continue\r\n\r\n").repeated(100000) + ok + length(text) + "\r\n" +
             text,
         false, protocolFailure},
        {"a head ended by a line feed, then CRLF",
         "HTTP/1.1 200 OK\nContent-Type: text/xml; charset=utf-8\n" + length(text).chopped(2) +
             "\n\r\n" + text,
         true},
        {"gzip bomb", ok + "Content-Encoding: gzip\r\n" + length(bombs[0]) + "\r\n" + bombs[0],
         false, NetworkError::AnswerTooLarge},
        {"deflate bomb",
         ok + "Content-Encoding: deflate\r\n" + length(bombs[1]) + "\r\n" + bombs[1], false,
         NetworkError::AnswerTooLarge},
        {"br bomb", ok + "Content-Encoding: br\r\n" + length(bombs[2]) + "\r\n" + bombs[2], false,
         NetworkError::AnswerTooLarge},
        {"zstd bomb", ok + "Content-Encoding: zstd\r\n" + length(bombs[3]) + "\r\n" + bombs[3],
         false, NetworkError::AnswerTooLarge},
    };
    for (const RawCase& c : cases) {
        RawPeer peer(c.answer);
        pointAt(peer.port());
        SoapTransport transport;
        if (c.passes) {
            EXPECT_EQ(transport.call(QString(Soap::ServicePath),
                                     QStringLiteral("Transferencia.ver2"), {}),
                      QString::fromUtf8(text))
                << c.label;
        } else {
            const auto failure = failureOf(transport);
            if (!failure) {
                ADD_FAILURE() << c.label << ": the call passed";
                continue;
            }
            EXPECT_NE(failure->number(), 0) << c.label;
            if (c.failsWith != 0) {
                EXPECT_EQ(failure->number(), c.failsWith)
                    << c.label << ": " << failure->description().toStdString();
            }
        }
    }
}

// The request's bytes are those Qt's network access sends for the same call
// (fields, order, values, body), directly and through an HTTP proxy.
TEST_F(SoapTransportTest, RequestBytesAreThoseOfQtsNetworkAccess) {
    struct WireCase {
        const char* label;
        bool throughProxy;
        QList<SoapParam> params;
    };
    const WireCase cases[] = {
        {"direct", false, {{QStringLiteral("strNome"), QStringLiteral("77123456")}}},
        {"through the proxy", true, {{QStringLiteral("strNome"), QStringLiteral("77123456")}}},
        {"accents and escapes",
         false,
         {{QStringLiteral("strNome"), QStringLiteral("Jos\u00E9 & Concei\u00E7\u00E3o <S/A>")},
          {QStringLiteral("Chave"), QStringLiteral("\"a'b%20")}}},
    };
    for (const WireCase& c : cases) {
        RawPeer peer("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
        // Through the proxy the server is a name only the proxy would know.
        pointAt(peer.port());
        const QUrl url = c.throughProxy
                             ? QUrl(QStringLiteral("http://valdoria.test:8080") + Soap::ServicePath)
                             : SoapRequest::serviceUrl(Soap::ServicePath);
        QNetworkAccessManager network;
        network.setProxy(c.throughProxy ? QNetworkProxy(QNetworkProxy::HttpProxy,
                                                        QStringLiteral("127.0.0.1"), peer.port())
                                        : QNetworkProxy(QNetworkProxy::NoProxy));
        const QString operation = QStringLiteral("Transferencia.ver2");
        const std::unique_ptr<QNetworkReply> qt(network.post(
            SoapRequest::request(url, operation), SoapRequest::body(operation, c.params)));
        const std::unique_ptr<QNetworkReply> own(
            SoapRequest::post(network, url, operation, c.params));
        ASSERT_TRUE(dadav::test::waitFor([&] { return qt->isFinished() && own->isFinished(); }))
            << c.label;
        EXPECT_EQ(own->readAll(), "ok") << c.label;
        ASSERT_EQ(peer.requests.size(), 2) << c.label;
        EXPECT_EQ(peer.requests[1].toStdString(), peer.requests[0].toStdString()) << c.label;
    }
}

// Calls reuse a kept-alive connection. One the server closes when it is
// reused gets the call again on a new connection only when no byte of its
// answer came: a request the server began to answer is never sent twice.
TEST_F(SoapTransportTest, AReusedConnectionClosedByTheServerIsRetriedOnlyBeforeAnyAnswer) {
    struct ReuseCase {
        const char* label;
        QByteArray onReuse; // written on the reused connection, then closed
        bool passes;
        int requests; // that reached the server
    };
    const ReuseCase cases[] = {
        {"closed before answering", "", true, 3},
        {"closed within the head", "HTTP/1.1 200 OK\r\nContent-Le", false, 2},
        {"closed within the body", "HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nsec", false, 2},
    };
    for (const ReuseCase& c : cases) {
        RawPeer peer([&c](int connection, int request) -> RawPeer::Turn {
            if (request > 1)
                return {c.onReuse, true};
            return {connection == 0 ? "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nfirst"
                                    : "HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nsecond",
                    false};
        });
        pointAt(peer.port());
        SoapTransport transport;
        const auto callOnce = [&] {
            return transport.call(QString(Soap::ServicePath), QStringLiteral("Transferencia.ver2"),
                                  {});
        };
        EXPECT_EQ(callOnce(), QStringLiteral("first")) << c.label;
        if (c.passes) {
            EXPECT_EQ(callOnce(), QStringLiteral("second")) << c.label;
        } else {
            EXPECT_TRUE(failureOf(transport).has_value()) << c.label;
        }
        EXPECT_EQ(peer.total, c.requests) << c.label;
    }
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
    // The parallel calls' reason is what a batch row and the command line
    // print after "Falha de rede: ": the user's language.
    SoapBatch batch(1, nullptr, nullptr, std::chrono::seconds(20));
    QString reason;
    QObject::connect(&batch, &SoapBatch::failed, &batch,
                     [&](int, const QString& why) { reason = why; });
    batch.run({{1, Soap::ServicePath, QStringLiteral("Transferencia.ver2"), {}}});
    ASSERT_TRUE(dadav::test::waitFor([&] { return !reason.isEmpty(); }));
    EXPECT_EQ(reason, QStringLiteral("Conexão recusada"));
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
        // The answer's header never ends (a status line, then fields without
        // end) instead of its body.
        bool endlessHeader = false;
    };
    const LargeCase cases[] = {
        {"chunked", false, false, false, bound + 256 * 1024},
        {"declared length", true, false, false, bound + 256 * 1024},
        {"chunked to a busy client", false, true, false, size_t(2) << 30},
        {"chunked to a busy client, parallel calls", false, true, true, size_t(256) << 20},
        {"endless header", false, false, false, 0, true},
        {"endless header, parallel calls", false, false, true, 0, true},
    };
    const QString headerRefused =
        QStringLiteral("A resposta do servidor foi recusada: o cabeçalho passou de 64 KiB.");
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
        EndlessHeaderPeer endless(served);
        std::optional<LoopbackServer> server;
        if (!c.endlessHeader)
            server.emplace([&](const httplib::Request&, httplib::Response& res) {
                if (c.declaredLength)
                    res.set_content_provider(c.offered, "application/soap+xml", provide);
                else
                    res.set_chunked_content_provider(
                        "application/soap+xml", [provide](size_t offset, httplib::DataSink& sink) {
                            return provide(offset, 0, sink);
                        });
            });
        pointAt(c.endlessHeader ? endless.port() : server->port());
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
            SoapBatch batch(1, nullptr, nullptr, std::chrono::seconds(20));
            QString reason;
            QObject::connect(&batch, &SoapBatch::failed, &batch,
                             [&](int, const QString& why) { reason = why; });
            batch.run({{1, Soap::ServicePath, QStringLiteral("Transferencia.ver2"), {}}});
            ASSERT_TRUE(dadav::test::waitFor([&] { return !reason.isEmpty(); })) << c.label;
            EXPECT_EQ(reason, c.endlessHeader
                                  ? headerRefused
                                  : QStringLiteral("A resposta passou de %1 bytes").arg(bound))
                << c.label;
        } else {
            // Short of the read time-out: the peer never pauses.
            SoapTransport transport(&busy,
                                    SoapTimeouts{std::chrono::seconds(15), std::chrono::seconds(60),
                                                 std::chrono::seconds(20)});
            const auto failure = failureOf(transport);
            ASSERT_TRUE(failure.has_value()) << c.label;
            if (c.endlessHeader) {
                EXPECT_EQ(failure->number(), qint32(QNetworkReply::ProtocolFailure)) << c.label;
                EXPECT_EQ(failure->description(), headerRefused) << c.label;
            } else {
                EXPECT_EQ(failure->number(), NetworkError::AnswerTooLarge) << c.label;
            }
        }
        // What the server could write is the bound and the connection's
        // buffers, not what the client's network thread could read.
        EXPECT_LT(served.load(), size_t(c.endlessHeader ? 8 : 32) << 20) << c.label;
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
