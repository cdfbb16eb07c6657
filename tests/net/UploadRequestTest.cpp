// The multipart request's exact bytes, its boundary, the refused header values
// and the progress percent.
#include "net/UploadRequest.h"
#include "base/RuntimeError.h"
#include "net/CodePage1252.h"
#include "net/MultipartUpload.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

UrlParts url(const QString& host, qint16 port, const QString& uri, const QString& query) {
    UrlParts u;
    u.Scheme = QStringLiteral("http");
    u.Host = host;
    u.Port = port;
    u.URI = uri;
    u.Query = query;
    return u;
}

// The boundary named in the Content-Type header line.
QByteArray boundaryOf(const QByteArray& request) {
    static const QRegularExpression re(QStringLiteral("boundary=([A-Za-z0-9]{32})\r\n"));
    const auto m = re.match(QString::fromLatin1(request));
    return m.hasMatch() ? m.captured(1).toLatin1() : QByteArray();
}

} // namespace

TEST(UploadRequest, ExactBytesOnTheWire) {
    struct Case {
        const char* name;
        UrlParts url;
        QByteArray file;
        QByteArray expected; // "@B@" stands for the boundary
    };
    const Case cases[] = {
        {"query and port",
         url(QStringLiteral("10.0.0.5"), 8080, QStringLiteral("/client/xt_upload_1_15_01.php"),
             QStringLiteral("ie=12345678&contador=123&chave=ABCDEFGH&gias=1_2014,2_2014")),
         QByteArray("PK\x03\x04zip", 7),
         QByteArray(
             "POST /client/xt_upload_1_15_01.php?ie=12345678&contador=123&chave=ABCDEFGH"
             "&gias=1_2014,2_2014 HTTP/1.0\r\n"
             "Host: 10.0.0.5\r\n"
             "Content-Type: multipart/form-data, boundary=@B@\r\n"
             "Content-Length: 197\r\n"
             "\r\n"
             "--@B@\r\n"
             "Content-Disposition: form-data; name=\"objArquivo\"; filename=\"BACKUP.ZIP\"\r\n"
             "Content-Type: application/octet-stream\r\n"
             "\r\n"
             "PK\x03\x04zip"
             "\r\n--@B@--")},
        {"empty file, empty query",
         url(QStringLiteral("servidor.valdoria"), 0, QStringLiteral("/"), QString()), QByteArray(),
         QByteArray(
             "POST /? HTTP/1.0\r\n"
             "Host: servidor.valdoria\r\n"
             "Content-Type: multipart/form-data, boundary=@B@\r\n"
             "Content-Length: 190\r\n"
             "\r\n"
             "--@B@\r\n"
             "Content-Disposition: form-data; name=\"objArquivo\"; filename=\"BACKUP.ZIP\"\r\n"
             "Content-Type: application/octet-stream\r\n"
             "\r\n"
             "\r\n--@B@--")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray request = upload::BuildFileUploadRequest(
            c.file, c.url, QStringLiteral("objArquivo"), QStringLiteral("BACKUP.ZIP"),
            QStringLiteral("application/octet-stream"));
        const QByteArray b = boundaryOf(request);
        ASSERT_EQ(b.size(), 32);
        QByteArray expected = c.expected;
        expected.replace("@B@", b);
        EXPECT_EQ(request, expected);
    }
}

TEST(UploadRequest, ContentLengthCountsEveryByteValue) {
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    const QByteArray request = upload::BuildFileUploadRequest(
        all, url(QStringLiteral("h"), 0, QStringLiteral("/u"), QStringLiteral("a=1")),
        QStringLiteral("campo"), QStringLiteral("Declaração.zip"), QStringLiteral("a/b"));
    const qsizetype headEnd = request.indexOf("\r\n\r\n") + 4;
    const QByteArray body = request.mid(headEnd);
    EXPECT_TRUE(
        request.contains("\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n"));
    EXPECT_TRUE(body.contains(all));
    // Latin-1 file name goes out one byte per character.
    EXPECT_TRUE(body.contains("filename=\"Declara\xe7\xe3o.zip\""));
}

TEST(UploadRequest, FileNameGoesOutInWindows1252OrIsRefused) {
    struct Case {
        const char* name;
        QString fileName;
        QByteArray onTheWire; // empty: refused, naming the character
        QString refusedChar;
    };
    const Case cases[] = {
        {"en dash", QStringLiteral("GIA\u201378045302.ZIP"),
         QByteArray("GIA\x96"
                    "78045302.ZIP"),
         QString()},
        {"curly single quotes", QStringLiteral("\u2018a\u2019.zip"),
         QByteArray("\x91"
                    "a\x92.zip"),
         QString()},
        {"curly double quotes", QStringLiteral("\u201cb\u201d.zip"),
         QByteArray("\x93"
                    "b\x94.zip"),
         QString()},
        {"euro sign", QStringLiteral("\u20ac 100.zip"), QByteArray("\x80 100.zip"), QString()},
        {"Latin-1 accents", QStringLiteral("maro\u00e7\u00e3.zip"), QByteArray("maro\xe7\xe3.zip"),
         QString()},
        {"arrow, in neither", QStringLiteral("a\u2192b.zip"), QByteArray(),
         QStringLiteral("\u2192")},
        {"outside the basic plane", QStringLiteral("x\U0001F600.zip"), QByteArray(),
         QStringLiteral("\U0001F600")},
        {"C1 control Latin-1 would write", QStringLiteral("a\u0080.zip"), QByteArray(),
         QStringLiteral("\u0080")},
    };
    const UrlParts u = url(QStringLiteral("h"), 0, QStringLiteral("/u"), QStringLiteral("a=1"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString refusal = upload::CheckHeaderValues(u, QStringLiteral("objArquivo"),
                                                          c.fileName, QStringLiteral("a/b"));
        if (c.onTheWire.isEmpty()) {
            EXPECT_EQ(refusal, QStringLiteral("O nome do arquivo contém o caractere \"%1\", que "
                                              "não pode ser enviado ao servidor. Renomeie o "
                                              "arquivo sem esse caractere e tente novamente.")
                                   .arg(c.refusedChar));
            EXPECT_THROW(upload::BuildFileUploadRequest(QByteArray("x"), u,
                                                        QStringLiteral("objArquivo"), c.fileName,
                                                        QStringLiteral("a/b")),
                         RuntimeError);
            continue;
        }
        EXPECT_TRUE(refusal.isEmpty()) << refusal.toStdString();
        const QByteArray request = upload::BuildFileUploadRequest(
            QByteArray("x"), u, QStringLiteral("objArquivo"), c.fileName, QStringLiteral("a/b"));
        EXPECT_TRUE(request.contains("; filename=\"" + c.onTheWire + "\"\r\n"))
            << request.toStdString();
    }
}

// The file name's code page is written out as a table; the system's
// conversion library must agree with it on every byte and every character
// of the basic plane.
TEST(UploadRequest, TheCodePageTableAgreesWithTheSystemsConversion) {
    QStringDecoder decoder("windows-1252");
    ASSERT_TRUE(decoder.isValid()) << "Qt without the windows-1252 conversion";
    QByteArray every;
    for (int b = 0; b < 256; ++b)
        every += char(b);
    EXPECT_EQ(CodePage1252::decode(every), QString(decoder(every)));
    for (char32_t c = 1; c < 0x10000; ++c) {
        if (c >= 0xD800 && c < 0xE000)
            continue;
        QStringEncoder encoder("windows-1252");
        const QByteArray system = encoder(QString::fromUcs4(&c, 1));
        const std::optional<char> ours = CodePage1252::byteOf(c);
        // Nothing written (the byte-order mark) is no place in the code page.
        if (encoder.hasError() || system.isEmpty())
            EXPECT_FALSE(ours) << "U+" << std::hex << unsigned(c);
        else
            EXPECT_EQ(QByteArray(1, ours.value_or('?')), system) << "U+" << std::hex << unsigned(c);
    }
}

TEST(UploadRequest, FileBackedRequestRendersLikeTheInMemoryOne) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("f.bin"));
    QByteArray bytes;
    for (int i = 0; i < 1000; ++i)
        bytes += static_cast<char>(i * 7);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();

    const UrlParts u = url(QStringLiteral("h"), 81, QStringLiteral("/p"), QString());
    const auto req = upload::BuildFileUploadRequest(path, bytes.size(), u, QStringLiteral("n"),
                                                    QStringLiteral("f.bin"), QStringLiteral("t"));
    QByteArray inMemory = upload::BuildFileUploadRequest(
        bytes, u, QStringLiteral("n"), QStringLiteral("f.bin"), QStringLiteral("t"));
    inMemory.replace(boundaryOf(inMemory), req.boundary);
    const QByteArray rendered = upload::RenderRequest(req);
    EXPECT_EQ(rendered, inMemory);
    EXPECT_EQ(rendered.size(), req.totalSize());
    EXPECT_EQ(req.contentLength, rendered.size() - (rendered.indexOf("\r\n\r\n") + 4));

    // A file that changed after the request was prepared is not rendered with a
    // Content-Length that no longer matches.
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write("x");
    f.close();
    EXPECT_THROW(upload::RenderRequest(req), RuntimeError);
}

TEST(UploadRequest, BoundariesAreFreshAndAlphanumeric) {
    const UrlParts u = url(QStringLiteral("h"), 0, QStringLiteral("/"), QString());
    const QByteArray b1 = boundaryOf(upload::BuildFileUploadRequest(
        QByteArray("x"), u, QStringLiteral("n"), QStringLiteral("f"), QStringLiteral("t")));
    const QByteArray b2 = boundaryOf(upload::BuildFileUploadRequest(
        QByteArray("x"), u, QStringLiteral("n"), QStringLiteral("f"), QStringLiteral("t")));
    ASSERT_EQ(b1.size(), 32);
    ASSERT_EQ(b2.size(), 32);
    EXPECT_NE(b1, b2);

    static const QRegularExpression alnum(QStringLiteral("^[A-Za-z0-9]*$"));
    for (int n : {0, 1, 32, 4000}) {
        const QString s = upload::RandomAlphaNumeric(n);
        EXPECT_EQ(s.size(), n);
        EXPECT_TRUE(alnum.match(s).hasMatch()) << s.toStdString();
    }
    EXPECT_TRUE(upload::RandomAlphaNumeric(-3).isEmpty());
}

TEST(UploadRequest, HeaderValuesThatWouldBreakTheRequestAreRefused) {
    struct Case {
        const char* name;
        QString field, file, mime, host, uri, query;
        bool refused;
    };
    const QString f = QStringLiteral("objArquivo"), n = QStringLiteral("a.zip"),
                  m = QStringLiteral("application/octet-stream"), h = QStringLiteral("h"),
                  p = QStringLiteral("/p"), q = QStringLiteral("a=1");
    const Case cases[] = {
        {"plain", f, n, m, h, p, q, false},
        {"accents and blanks", f, QStringLiteral("Declaração março.zip"), m, h, p, q, false},
        {"quote in file name", f, QStringLiteral("a\".zip"), m, h, p, q, true},
        {"CR in file name", f, QStringLiteral("a\r.zip"), m, h, p, q, true},
        {"LF in file name", f, QStringLiteral("a\n.zip"), m, h, p, q, true},
        {"quote in field", QStringLiteral("o\"bj"), n, m, h, p, q, true},
        {"LF in MIME type", f, n, QStringLiteral("a/b\nX-Evil: 1"), h, p, q, true},
        {"CR in host", f, n, m, QStringLiteral("h\r"), p, q, true},
        {"LF in query", f, n, m, h, p, QStringLiteral("a=1\n"), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const UrlParts u = url(c.host, 0, c.uri, c.query);
        EXPECT_EQ(upload::CheckHeaderValues(u, c.field, c.file, c.mime).isEmpty(), !c.refused);
        if (c.refused) {
            EXPECT_THROW(upload::BuildFileUploadRequest(QByteArray(), u, c.field, c.file, c.mime),
                         RuntimeError);
        }
    }
    EXPECT_EQ(upload::CheckHeaderValues(url(h, 0, p, q), f, QStringLiteral("a\".zip"), m),
              QStringLiteral("O nome do arquivo contém aspas ou quebra de linha e não pode ser "
                             "enviado. Renomeie o arquivo e tente novamente."));
}

TEST(UploadRequest, ReadWholeFileReportsTheSystemDescription) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const QString& path : {dir.filePath(QStringLiteral("missing.zip")), dir.path()}) {
        try {
            upload::ReadWholeFile(path);
            ADD_FAILURE() << "no error for " << path.toStdString();
        } catch (const RuntimeError& e) {
            QFile probe(path);
            probe.open(QIODevice::ReadOnly);
            EXPECT_EQ(e.description(), probe.errorString());
            EXPECT_EQ(e.source(), QStringLiteral("ReadWholeFile"));
        }
    }
}

TEST(UploadRequest, SendPercentRoundsHalvesToEven) {
    struct Case {
        qint64 total, remaining;
        int percent;
    };
    const Case cases[] = {
        {100, 100, 0}, {100, 0, 100},
        {200, 1, 100}, // 99.5 -> 100
        {200, 3, 98},  // 98.5 -> 98
        {8, 7, 12},    // 12.5 -> 12
        {8, 5, 38},    // 37.5 -> 38
        {3, 2, 33},    {3, 1, 67},
        {0, 0, 0},     {Q_INT64_C(5000000000000), Q_INT64_C(2500000000000), 50},
    };
    for (const Case& c : cases)
        EXPECT_EQ(upload::SendPercent(c.total, c.remaining), c.percent)
            << c.total << " " << c.remaining;
    EXPECT_EQ(upload::ProgressText(42), QStringLiteral("42% completo."));
}
