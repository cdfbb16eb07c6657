// Shared ground of the wire round trips: the simulator started in-process on a
// clock the test moves by hand, the client's application folder pointing at
// it, the real SOAP transport and socket upload, and readers for what the
// client reads back (fixed character positions, the raw request log).
#pragma once

#include "base/AppPaths.h"
#include "base/ReadWrite.h"
#include "net/MultipartUpload.h"
#include "net/ProxyAuth.h"
#include "net/SoapEnvelope.h"
#include "net/SoapTransport.h"
#include "support/FakeCredentialsPrompter.h"
#include "support/SimulatorFixture.h"

#include <QByteArray>
#include <QDateTime>
#include <QEventLoop>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>

namespace dadav::e2e {

// The envelope head exactly as the server expects it, written out here rather
// than taken from the client's builder, so a change of the builder shows.
inline const QString kEnvelopeHead =
    QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?><soap12:Envelope "
                   "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                   "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
                   "xmlns:soap12=\"http://www.w3.org/2003/05/soap-envelope\"> <soap12:Body>");
inline const QString kEnvelopeTail = QStringLiteral("</soap12:Body></soap12:Envelope>");

// Characters from..to (1-based, inclusive) of text; shorter when text ends first.
inline QString chars(const QString& text, int from, int to) {
    return text.mid(from - 1, to - from + 1);
}

// One request as the simulator logged it, split at the blank line.
struct RawRequest {
    QString requestLine;
    QStringList headers; // "Name: value" lines, as sent
    QByteArray body;

    // How many header lines have this name (any letter case).
    int count(const QString& name) const {
        int n = 0;
        for (const QString& h : headers)
            n += h.section(QLatin1Char(':'), 0, 0).compare(name, Qt::CaseInsensitive) == 0;
        return n;
    }
};

inline RawRequest splitRequest(const QByteArray& raw) {
    RawRequest r;
    const qsizetype end = raw.indexOf("\r\n\r\n");
    if (end < 0) {
        ADD_FAILURE() << "request without a blank line";
        return r;
    }
    QStringList lines =
        QString::fromLatin1(raw.left(end)).split(QStringLiteral("\r\n"), Qt::KeepEmptyParts);
    r.requestLine = lines.takeFirst();
    r.headers = lines;
    r.body = raw.mid(end + 4);
    return r;
}

// The 32-character boundary named in an upload request's header.
inline QByteArray boundaryOf(const QByteArray& request) {
    static const QRegularExpression re(
        QStringLiteral("\r\nContent-Type: multipart/form-data, boundary=([A-Za-z0-9]{32})\r\n"));
    const auto m = re.match(QString::fromLatin1(request.left(4096)));
    return m.hasMatch() ? m.captured(1).toLatin1() : QByteArray();
}

inline QByteArray allByteValues() {
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(static_cast<char>(i));
    return bytes;
}

// What one upload reported before it ended.
struct UploadOutcome {
    std::optional<QByteArray> reply;
    QString failure;
    int replies = 0;
};

class WireTest : public ::testing::Test {
protected:
    // Starts the simulator with its clock on now_ and points the client's
    // settings at it.
    void startSimulator(valdoria::SimulatorOptions options = {}) {
        options.clock = [this] {
            return std::chrono::system_clock::time_point(std::chrono::seconds(now_.load()));
        };
        options.version = "1.16.01";
        options.years = "2025/2026";
        fixture_ = std::make_unique<test::SimulatorFixture>(std::move(options));
        fixture_->useAsApplicationFolder();
    }

    valdoria::Simulator& sim() { return fixture_->simulator(); }
    void advanceClock(int seconds) { now_ += seconds; }
    QDateTime simulatorNow() const { return QDateTime::fromSecsSinceEpoch(now_.load()); }

    // Host and port as the windows read them, at the moment of use.
    static QString host() {
        return ReadWrite::ReadIniValue(QStringLiteral("servidor"), QStringLiteral("host"));
    }
    static QString port() {
        return ReadWrite::ReadIniValue(QStringLiteral("servidor"), QStringLiteral("port"));
    }

    // The whole answer body of one call through the real transport.
    QString call(const QString& path, const QString& operation,
                 const QList<Soap::SoapParam>& params) {
        return transport_.call(path, operation, params);
    }
    QString ver2(const QString& ie, const QString& key) {
        return call(Soap::ServicePath, QStringLiteral("Transferencia.ver2"),
                    {{QStringLiteral("strNome"), ie},
                     {QStringLiteral("strDiretorioDestino"), QStringLiteral("vbs")},
                     {QStringLiteral("Chave"), key}});
    }

    // The last request the simulator received, split.
    RawRequest lastRequest() {
        const auto raw = sim().rawRequests();
        if (raw.empty()) {
            ADD_FAILURE() << "the simulator received nothing";
            return {};
        }
        return splitRequest(QByteArray::fromStdString(raw.back()));
    }

    // Checks that the last request went to path with exactly the client's two
    // headers and the envelope bytes given (UTF-8).
    void expectSoapRequest(const QString& path, const QString& operation, const QString& envelope) {
        const RawRequest r = lastRequest();
        EXPECT_EQ(r.requestLine, QStringLiteral("POST %1 HTTP/1.1").arg(path));
        EXPECT_EQ(r.count(QStringLiteral("Content-Type")), 1);
        EXPECT_TRUE(r.headers.contains(QStringLiteral("Content-Type: text/xml")))
            << r.headers.join(QStringLiteral(" | ")).toStdString();
        EXPECT_EQ(r.count(QStringLiteral("SOAPAction")), 1);
        EXPECT_TRUE(r.headers.contains(QStringLiteral("SOAPAction: ") + operation))
            << r.headers.join(QStringLiteral(" | ")).toStdString();
        EXPECT_EQ(r.body, envelope.toUtf8());
    }

    // Runs one upload through the client's socket upload until its reply or
    // failure. The guard only keeps a broken upload from hanging the suite.
    UploadOutcome upload(const UrlParts& url, const QString& filePath, const QString& fileName) {
        UploadOutcome out;
        MultipartUpload up;
        up.setProxyAuth(&proxyAuth_);
        QEventLoop loop;
        QObject::connect(&up, &MultipartUpload::replyReceived, &loop, [&](const QByteArray& reply) {
            out.reply = reply;
            ++out.replies;
            loop.quit();
        });
        QObject::connect(&up, &MultipartUpload::failed, &loop,
                         [&](const QString& description, MultipartUpload::Failure) {
                             out.failure = description;
                             loop.quit();
                         });
        if (up.start(url, filePath, fileName, QStringLiteral("objArquivo"),
                     QStringLiteral("application/octet-stream"))) {
            QTimer::singleShot(30000, &loop, [&] { loop.exit(1); });
            EXPECT_EQ(loop.exec(), 0) << "the upload never ended";
        }
        return out;
    }

    std::atomic<qint64> now_{1781000000}; // an instant of June 2026
    std::unique_ptr<test::SimulatorFixture> fixture_;
    // What a proxy's demand for a password gets: scripted answers, remembered
    // for the test's session like the program remembers them.
    test::FakeCredentialsPrompter credentials_;
    ProxyAuth proxyAuth_{&credentials_};
    SoapTransport transport_{nullptr, {}, &proxyAuth_};
};

} // namespace dadav::e2e
