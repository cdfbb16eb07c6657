// The socket upload against a loopback server started by the test, which records
// every byte it receives and answers as each case scripts it.
#include "net/MultipartUpload.h"
#include "base/AppPaths.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

// How the loopback server behaves once the request is complete (or earlier).
struct ServerScript {
    std::vector<QByteArray> replyPieces{QByteArray("HTTP/1.0 200 OK\r\n\r\nOK")};
    int pieceGapMs = 50; // pause between reply pieces
    bool closeAfterReply = true;
    qint64 closeAfterBytes = -1;    // reset once this many bytes came in (see answerBeforeReset)
    bool answerBeforeReset = false; // write the first reply piece just before that reset
};

class RecordingServer : public QObject {
public:
    // Listens on a free loopback port, or on the first free port from lowPort up to
    // 32767 when lowPort is given (port() is 0 when none was free).
    explicit RecordingServer(ServerScript script, quint16 lowPort = 0)
        : m_script(std::move(script)) {
        if (lowPort == 0) {
            m_server.listen(QHostAddress::LocalHost);
        } else {
            for (quint32 p = lowPort; p <= 32767 && !m_server.isListening(); ++p)
                m_server.listen(QHostAddress::LocalHost, static_cast<quint16>(p));
        }
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = m_server.nextPendingConnection()) {
                ++connections;
                s->setParent(this);
                connect(s, &QTcpSocket::readyRead, this, [this, s] { onData(s); });
            }
        });
    }
    quint16 port() const { return m_server.serverPort(); }

    QByteArray received; // every byte of every connection, in order
    int connections = 0;

private:
    struct Conn {
        QByteArray data;
        bool answered = false;
    };

    void onData(QTcpSocket* s) {
        const QByteArray in = s->readAll();
        received += in;
        Conn& c = m_conns[s];
        c.data += in;
        if (m_script.closeAfterBytes >= 0 && c.data.size() >= m_script.closeAfterBytes) {
            if (m_script.answerBeforeReset) {
                s->write(m_script.replyPieces.front());
                s->flush();
            }
            // Closing with unread request bytes makes the system reset the connection.
            s->abort();
            return;
        }
        if (c.answered || !requestComplete(c.data))
            return;
        c.answered = true;
        sendPiece(s, 0);
    }
    static bool requestComplete(const QByteArray& data) {
        const qsizetype end = data.indexOf("\r\n\r\n");
        if (end < 0)
            return false;
        static const QRegularExpression re(QStringLiteral("\r\nContent-Length: (\\d+)\r\n"));
        const auto m = re.match(QString::fromLatin1(data.left(end + 2)));
        return m.hasMatch() && data.size() - (end + 4) >= m.captured(1).toLongLong();
    }
    void sendPiece(QTcpSocket* s, size_t i) {
        if (i >= m_script.replyPieces.size()) {
            if (m_script.closeAfterReply)
                s->disconnectFromHost();
            return;
        }
        s->write(m_script.replyPieces[i]);
        s->flush();
        QTimer::singleShot(m_script.pieceGapMs, s, [this, s, i] { sendPiece(s, i + 1); });
    }

    ServerScript m_script;
    QTcpServer m_server;
    std::map<QTcpSocket*, Conn> m_conns;
};

// Everything the upload reported, in order.
struct Outcome {
    std::vector<int> percents;
    std::vector<QString> progressTexts;
    std::vector<QString> sentTexts;
    std::vector<QString> requestTexts;
    std::vector<QByteArray> replies;
    std::vector<std::pair<QString, MultipartUpload::Failure>> failures;
    bool connectedWhenSent = true;
};

// Writes the settings file of a temporary application folder; a loopback
// server's port usually lies above 32767, beyond what a URL's port field holds,
// so uploads name the port through the "port" setting as the client does then.
void writeSettings(const QTemporaryDir& app, const QByteArray& ini) {
    AppPaths::setApplicationFolder(app.path());
    QFile f(app.filePath(QStringLiteral("dadav.ini")));
    f.open(QIODevice::WriteOnly);
    f.write(ini);
}

class Harness {
public:
    explicit Harness(quint16 settingsPort = 0) {
        writeSettings(
            m_app, "[servidor]\nhost=127.0.0.1\nport=" + QByteArray::number(settingsPort) + "\n");
        QObject::connect(&upload, &MultipartUpload::progress, [this](int p, const QString& t) {
            out.percents.push_back(p);
            out.progressTexts.push_back(t);
        });
        QObject::connect(&upload, &MultipartUpload::sent, [this](const QString& t) {
            out.sentTexts.push_back(t);
            out.connectedWhenSent = upload.Connected();
        });
        QObject::connect(&upload, &MultipartUpload::requestReady,
                         [this](const QString& t) { out.requestTexts.push_back(t); });
        QObject::connect(&upload, &MultipartUpload::replyReceived, [this](const QByteArray& r) {
            out.replies.push_back(r);
            loop.quit();
        });
        QObject::connect(&upload, &MultipartUpload::failed,
                         [this](const QString& d, MultipartUpload::Failure k) {
                             out.failures.emplace_back(d, k);
                             loop.quit();
                         });
    }

    // Starts and runs the event loop until the upload ends; a safety net of 20 s
    // keeps a broken upload from hanging the suite.
    bool run(const UrlParts& u, const QString& path,
             const QString& name = QStringLiteral("a.zip")) {
        const bool started = upload.start(u, path, name, QStringLiteral("objArquivo"),
                                          QStringLiteral("application/octet-stream"));
        if (started) {
            QTimer::singleShot(20000, &loop, [this] { loop.exit(1); });
            EXPECT_EQ(loop.exec(), 0) << "upload never ended";
        }
        settle();
        return started;
    }

    // Lets pending socket events and deferred deletions run.
    static void settle() {
        for (int i = 0; i < 5; ++i) {
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }

    QTemporaryDir m_app;
    MultipartUpload upload;
    Outcome out;
    QEventLoop loop;
};

// The address of the loopback server whose port the settings name.
UrlParts loopback(const QString& query = QStringLiteral("ie=1&gias=1_2014")) {
    UrlParts u;
    u.Scheme = QStringLiteral("http");
    u.Host = QStringLiteral("127.0.0.1");
    u.Port = 0;
    u.URI = QStringLiteral("/client/xt_upload_1_15_01.php");
    u.Query = query;
    return u;
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return path;
}

QByteArray patterned(qint64 size) {
    QByteArray b(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        b[i] = static_cast<char>((i * 131 + i / 251) & 0xff);
    return b;
}

QByteArray boundaryOf(const QByteArray& request) {
    static const QRegularExpression re(QStringLiteral("boundary=([A-Za-z0-9]{32})\r\n"));
    const auto m = re.match(QString::fromLatin1(request.left(1024)));
    return m.hasMatch() ? m.captured(1).toLatin1() : QByteArray();
}

void expectMonotonicFromZeroToHundred(const std::vector<int>& percents) {
    ASSERT_FALSE(percents.empty());
    EXPECT_EQ(percents.front(), 0);
    EXPECT_EQ(percents.back(), 100);
    for (size_t i = 1; i < percents.size(); ++i)
        EXPECT_LT(percents[i - 1], percents[i]);
}

} // namespace

TEST(MultipartUpload, FileArrivesIntactWithExactRequest) {
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    struct Case {
        const char* name;
        QByteArray file;
        QString query;
        qint64 chunk;
    };
    const Case cases[] = {
        {"empty file", QByteArray(), QStringLiteral("ie=1&gias=1_2014"), 256 * 1024},
        {"every byte value, empty query", all, QString(), 256 * 1024},
        {"several chunks", patterned(3 * 1024 * 1024 + 17), QStringLiteral("a=b"), 64 * 1024},
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingServer server({});
        Harness h(server.port());
        auto opts = h.upload.options();
        opts.chunkBytes = c.chunk;
        h.upload.setOptions(opts);
        const QString path = writeFile(dir, QStringLiteral("f.zip"), c.file);
        ASSERT_TRUE(h.run(loopback(c.query), path, QStringLiteral("GIA 2014.zip")));

        ASSERT_TRUE(h.out.failures.empty()) << h.out.failures.front().first.toStdString();
        ASSERT_EQ(h.out.replies.size(), 1u);
        EXPECT_EQ(h.out.replies.front(), QByteArray("HTTP/1.0 200 OK\r\n\r\nOK"));
        EXPECT_EQ(h.out.sentTexts,
                  std::vector<QString>{QStringLiteral("Aguarde, carregando informações")});
        EXPECT_FALSE(h.out.connectedWhenSent);
        EXPECT_FALSE(h.upload.Connected());
        EXPECT_FALSE(h.upload.isRunning());
        expectMonotonicFromZeroToHundred(h.out.percents);
        EXPECT_EQ(h.out.progressTexts.back(), QStringLiteral("100% completo."));

        const QByteArray b = boundaryOf(server.received);
        ASSERT_EQ(b.size(), 32);
        const QByteArray body = "--" + b + "\r\n" +
                                "Content-Disposition: form-data; name=\"objArquivo\"; "
                                "filename=\"GIA 2014.zip\"\r\n" +
                                "Content-Type: application/octet-stream\r\n\r\n" + c.file +
                                "\r\n--" + b + "--";
        const QByteArray expected = "POST /client/xt_upload_1_15_01.php?" + c.query.toLatin1() +
                                    " HTTP/1.0\r\nHost: 127.0.0.1\r\n"
                                    "Content-Type: multipart/form-data, boundary=" +
                                    b + "\r\nContent-Length: " + QByteArray::number(body.size()) +
                                    "\r\n\r\n" + body;
        EXPECT_TRUE(server.received == expected)
            << "received " << server.received.size() << " bytes, expected " << expected.size();
        EXPECT_EQ(h.upload.TotalBytesToSend(), expected.size());
        ASSERT_EQ(h.out.requestTexts.size(), 1u);
        if (c.file.size() <= 64 * 1024)
            EXPECT_EQ(h.out.requestTexts.front(), QString::fromLatin1(expected));
        else
            EXPECT_TRUE(h.out.requestTexts.front().contains(QStringLiteral("bytes do arquivo")));
    }
}

TEST(MultipartUpload, ReplyIsDeliveredWholeAndOnce) {
    struct Case {
        const char* name;
        ServerScript script;
        qint64 maxReply;
        int replyTimeoutMs;
        int totalTimeoutMs;
        QByteArray expected;
    };
    const QByteArray head("HTTP/1.0 200 OK\r\n\r\nARQUIVO INVALIDO - ");
    const int minute = 60000;
    const Case cases[] = {
        {"split, then close",
         {{head, QByteArray("EXTRATO")}, 100, true, -1},
         1 << 20,
         minute,
         minute,
         head + "EXTRATO"},
        // A long pause between the pieces does not end the reply: the close does.
        {"split, pieces far apart, then close",
         {{head, QByteArray("MODIFICADO")}, 700, true, -1},
         1 << 20,
         minute,
         minute,
         head + "MODIFICADO"},
        {"split, left open until the reply deadline",
         {{head, QByteArray("RECIBO")}, 100, false, -1},
         1 << 20,
         400,
         minute,
         head + "RECIBO"},
        {"split, left open until the total deadline",
         {{head, QByteArray("RECIBO")}, 100, false, -1},
         1 << 20,
         minute,
         400,
         head + "RECIBO"},
        {"cut at the size bound",
         {{head + QByteArray(3000, 'x')}, 10, false, -1},
         1000,
         minute,
         minute,
         (head + QByteArray(3000, 'x')).left(1000)},
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = writeFile(dir, QStringLiteral("e.pdf"), QByteArray("%PDF-1.4"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingServer server(c.script);
        Harness h(server.port());
        auto opts = h.upload.options();
        opts.replyTimeoutMs = c.replyTimeoutMs;
        opts.totalTimeoutMs = c.totalTimeoutMs;
        opts.maxReplyBytes = c.maxReply;
        h.upload.setOptions(opts);
        ASSERT_TRUE(h.run(loopback(), path));
        EXPECT_TRUE(h.out.failures.empty());
        ASSERT_EQ(h.out.replies.size(), 1u);
        EXPECT_EQ(h.out.replies.front(), c.expected);
    }
}

TEST(MultipartUpload, PortComesFromTheUrlOrElseFromTheSettings) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = writeFile(dir, QStringLiteral("a.zip"), QByteArray("abc"));
    RecordingServer server({});
    // A second server on a port that a URL can carry (up to 32767).
    RecordingServer lowServer({}, 20000);
    struct Case {
        const char* name;
        QByteArray portSetting; // "" for no port line
        QString host;
        qint16 urlPort;
        RecordingServer* reaches; // nullptr: refused as "Invalid Host"
    };
    const Case cases[] = {
        {"numeric port setting", QByteArray::number(server.port()), QStringLiteral("127.0.0.1"), 0,
         &server},
        {"port setting with blanks", " " + QByteArray::number(server.port()) + " ",
         QStringLiteral("127.0.0.1"), 0, &server},
        {"URL port wins over the setting", QByteArray::number(server.port()),
         QStringLiteral("127.0.0.1"), static_cast<qint16>(lowServer.port()), &lowServer},
        {"port setting not numeric", "http", QStringLiteral("127.0.0.1"), 0, nullptr},
        {"no port setting", "", QStringLiteral("127.0.0.1"), 0, nullptr},
        {"empty host", QByteArray::number(server.port()), QString(), 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.reaches == &lowServer && lowServer.port() == 0)
            continue; // no free port below 32768 on this machine
        Harness h;
        writeSettings(h.m_app, c.portSetting.isEmpty()
                                   ? QByteArray("[servidor]\nhost=x\n")
                                   : "[servidor]\nport=" + c.portSetting + "\n");
        const int before = server.connections + lowServer.connections;
        UrlParts u = loopback();
        u.Host = c.host;
        u.Port = c.urlPort;
        EXPECT_EQ(h.run(u, path), c.reaches != nullptr);
        if (c.reaches) {
            EXPECT_EQ(h.out.replies.size(), 1u);
            EXPECT_TRUE(c.reaches->received.contains("\r\nHost: 127.0.0.1\r\n"));
            EXPECT_EQ(server.connections + lowServer.connections, before + 1);
        } else {
            ASSERT_EQ(h.out.failures.size(), 1u);
            EXPECT_EQ(h.out.failures.front().first, QStringLiteral("Invalid Host"));
            EXPECT_EQ(h.out.failures.front().second, MultipartUpload::Failure::InvalidHost);
            EXPECT_EQ(server.connections + lowServer.connections, before);
        }
    }
}

TEST(MultipartUpload, NothingIsSentForAnUnreadableFileOrABadName) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString good = writeFile(dir, QStringLiteral("a.zip"), QByteArray("abc"));
    struct Case {
        const char* name;
        QString path, fileName;
        MultipartUpload::Failure kind;
    };
    const Case cases[] = {
        {"missing file", dir.filePath(QStringLiteral("missing.zip")), QStringLiteral("m.zip"),
         MultipartUpload::Failure::FileRead},
        {"a folder", dir.path(), QStringLiteral("d.zip"), MultipartUpload::Failure::FileRead},
        {"quote in name", good, QStringLiteral("a\"b.zip"), MultipartUpload::Failure::FileName},
        {"line break in name", good, QStringLiteral("a\r\nX: y.zip"),
         MultipartUpload::Failure::FileName},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingServer server({});
        Harness h(server.port());
        EXPECT_FALSE(h.run(loopback(), c.path, c.fileName));
        ASSERT_EQ(h.out.failures.size(), 1u);
        EXPECT_EQ(h.out.failures.front().second, c.kind);
        if (c.kind == MultipartUpload::Failure::FileRead) {
            QFile probe(c.path);
            probe.open(QIODevice::ReadOnly);
            EXPECT_EQ(h.out.failures.front().first, probe.errorString());
        }
        EXPECT_EQ(server.connections, 0);
        EXPECT_TRUE(server.received.isEmpty());
        EXPECT_TRUE(h.out.requestTexts.empty());
    }
}

TEST(MultipartUpload, SocketFailuresEndTheUploadWithoutReply) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString big = writeFile(dir, QStringLiteral("big.zip"), patterned(8 * 1024 * 1024));

    // Refused: a port that was free a moment ago; the description is the socket's own.
    quint16 freePort = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
        freePort = probe.serverPort();
    }
    QTcpSocket reference;
    reference.connectToHost(QStringLiteral("127.0.0.1"), freePort);
    ASSERT_FALSE(reference.waitForConnected(5000));
    {
        Harness h(freePort);
        EXPECT_TRUE(h.run(loopback(), big));
        ASSERT_EQ(h.out.failures.size(), 1u);
        EXPECT_EQ(h.out.failures.front().first, reference.errorString());
        EXPECT_EQ(h.out.failures.front().second, MultipartUpload::Failure::Socket);
        EXPECT_TRUE(h.out.requestTexts.empty());
        EXPECT_FALSE(h.upload.isRunning());
    }
    // The server closes after part of the request, without answering.
    {
        ServerScript script;
        script.closeAfterBytes = 64 * 1024;
        RecordingServer server(script);
        Harness h(server.port());
        EXPECT_TRUE(h.run(loopback(), big));
        ASSERT_EQ(h.out.failures.size(), 1u);
        EXPECT_EQ(h.out.failures.front().second, MultipartUpload::Failure::Socket);
        EXPECT_FALSE(h.out.failures.front().first.isEmpty());
        EXPECT_TRUE(h.out.replies.empty());
        EXPECT_TRUE(h.out.sentTexts.empty());
        EXPECT_FALSE(h.upload.Connected());
    }
    // The server answers early and resets while the file is still going out:
    // the verdict it gave is the reply.
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        ServerScript script;
        script.replyPieces = {QByteArray("HTTP/1.0 403 Forbidden\r\n\r\nERRO - CHAVE INVALIDA")};
        script.closeAfterBytes = 64 * 1024;
        script.answerBeforeReset = true;
        RecordingServer server(script);
        Harness h(server.port());
        EXPECT_TRUE(h.run(loopback(), big));
        EXPECT_TRUE(h.out.failures.empty()) << h.out.failures.front().first.toStdString();
        ASSERT_EQ(h.out.replies.size(), 1u);
        EXPECT_EQ(h.out.replies.front(), script.replyPieces.front());
        EXPECT_TRUE(h.out.sentTexts.empty());
    }
    // The server reads everything and never answers: the reply deadline or,
    // first, the deadline of the whole upload ends it.
    struct Deadline {
        int replyMs, totalMs;
        const char* text;
    };
    for (const Deadline d :
         {Deadline{300, 60000, "O servidor não respondeu no tempo esperado."},
          Deadline{60000, 300, "O envio ao servidor não terminou no tempo esperado."}}) {
        SCOPED_TRACE(d.text);
        ServerScript script;
        script.replyPieces.clear();
        script.closeAfterReply = false;
        RecordingServer server(script);
        Harness h(server.port());
        auto opts = h.upload.options();
        opts.replyTimeoutMs = d.replyMs;
        opts.totalTimeoutMs = d.totalMs;
        h.upload.setOptions(opts);
        EXPECT_TRUE(h.run(loopback(), big));
        ASSERT_EQ(h.out.failures.size(), 1u);
        EXPECT_EQ(h.out.failures.front(),
                  std::make_pair(QString::fromUtf8(d.text), MultipartUpload::Failure::Timeout));
        EXPECT_TRUE(h.out.replies.empty());
    }
}

TEST(MultipartUpload, AFileThatChangesSizeWhileSentIsNotCompleted) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    struct Case {
        const char* name;
        bool grow;
    };
    for (const Case c : {Case{"shrinks", false}, Case{"grows", true}}) {
        SCOPED_TRACE(c.name);
        const QString path = writeFile(dir, QStringLiteral("c.zip"), patterned(4 * 1024 * 1024));
        RecordingServer server({});
        Harness h(server.port());
        auto opts = h.upload.options();
        opts.chunkBytes = 64 * 1024;
        h.upload.setOptions(opts);
        bool changed = false;
        QObject::connect(&h.upload, &MultipartUpload::progress, [&](int percent, const QString&) {
            if (percent == 0 || changed)
                return;
            changed = true;
            QFile f(path);
            if (c.grow) {
                f.open(QIODevice::Append);
                f.write("more");
            } else {
                f.resize(1024 * 1024);
            }
        });
        EXPECT_TRUE(h.run(loopback(), path));
        EXPECT_TRUE(changed);
        ASSERT_EQ(h.out.failures.size(), 1u);
        EXPECT_EQ(h.out.failures.front().second, MultipartUpload::Failure::FileChanged);
        EXPECT_TRUE(h.out.replies.empty());
        const QByteArray b = boundaryOf(server.received);
        ASSERT_EQ(b.size(), 32);
        EXPECT_FALSE(server.received.endsWith("\r\n--" + b + "--"));
        EXPECT_LT(server.received.size(), h.upload.TotalBytesToSend());
    }
}

TEST(MultipartUpload, ASecondStartWhileOneIsUnderWayDoesNothing) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = writeFile(dir, QStringLiteral("a.zip"), QByteArray("abc"));
    RecordingServer server({});
    Harness h(server.port());
    ASSERT_TRUE(h.upload.start(loopback(), path, QStringLiteral("a.zip"),
                               QStringLiteral("objArquivo"), QStringLiteral("x/y")));
    EXPECT_FALSE(h.upload.start(loopback(), path, QStringLiteral("a.zip"),
                                QStringLiteral("objArquivo"), QStringLiteral("x/y")));
    QTimer::singleShot(20000, &h.loop, [&] { h.loop.exit(1); });
    EXPECT_EQ(h.loop.exec(), 0);
    Harness::settle();
    EXPECT_EQ(server.connections, 1);
    EXPECT_EQ(h.out.replies.size(), 1u);
    EXPECT_TRUE(h.out.failures.empty());
    // Once ended, the same object can send again.
    EXPECT_TRUE(h.run(loopback(), path));
    EXPECT_EQ(server.connections, 2);
}

TEST(MultipartUpload, AConnectionThatNeverCompletesTimesOut) {
    // A listener with a full accept queue drops further SYNs, so a connect to it
    // stays pending: bind, listen with backlog 0, never accept, fill the queue.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(0x7f000001);
    socklen_t len = sizeof(addr);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    const quint16 port = ntohs(addr.sin_port);
    std::vector<std::unique_ptr<QTcpSocket>> fillers;
    bool queueFull = false;
    for (int i = 0; i < 8 && !queueFull; ++i) {
        fillers.push_back(std::make_unique<QTcpSocket>());
        fillers.back()->connectToHost(QStringLiteral("127.0.0.1"), port);
        // Once the queue is full this and later connects stay pending.
        queueFull = !fillers.back()->waitForConnected(300);
    }
    if (!queueFull) {
        ::close(listener);
        GTEST_SKIP() << "this system completes connects beyond the listen backlog";
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = writeFile(dir, QStringLiteral("a.zip"), QByteArray("abc"));
    Harness h(port);
    auto opts = h.upload.options();
    opts.connectTimeoutMs = 300;
    h.upload.setOptions(opts);
    EXPECT_TRUE(h.run(loopback(), path));
    ::close(listener);
    ASSERT_EQ(h.out.failures.size(), 1u);
    EXPECT_EQ(h.out.failures.front(),
              std::make_pair(QStringLiteral("Tempo esgotado ao conectar ao servidor."),
                             MultipartUpload::Failure::Timeout));
    EXPECT_TRUE(h.out.requestTexts.empty());
    EXPECT_FALSE(h.upload.Connected());
}
