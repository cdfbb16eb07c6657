// Parallel SOAP calls on the shared HTTP engine, bounded in number.
#include "net/SoapBatch.h"

#include "net/NetworkError.h"
#include "net/ProxyAuth.h"
#include "net/SoapRequest.h"
#include "net/SoapTransport.h"

#include <QAuthenticator>
#include <QElapsedTimer>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QPointer>
#include <QTimer>

#include <algorithm>

struct SoapBatch::Running {
    int id = 0;
    // The call's own: a proxy's demand for a password is charged to the call
    // that met it, through the manager it was posted on. Holds no connection
    // (the engine's pool is shared).
    std::unique_ptr<QNetworkAccessManager> manager;
    QNetworkReply* reply = nullptr; // owned: deleted later by dispose()
    QTimer deadline;
    QByteArray body;
    QString stopReason; // set when this side ended the call
    QString logLabel;   // the call as the support log names it
    QElapsedTimer elapsed;
    int proxyTries = 0;
    // What became of a demand for a proxy password, for a refusal's message.
    ProxyAuth::Demand demand = ProxyAuth::Demand::None;
};

SoapBatch::SoapBatch(int maxInFlight, ProxyAuth* proxyAuth, QObject* parent,
                     std::chrono::milliseconds deadline)
    : QObject(parent), m_maxInFlight(std::max(1, maxInFlight)), m_proxyAuth(proxyAuth),
      m_deadline(deadline) {
    QNetworkProxyFactory::setUseSystemConfiguration(true); // as SoapTransport: "sistema" mode
}

namespace {

// Deletes the call's reply and manager from the event loop: this may run
// inside one of the reply's signals.
template <typename Running> void dispose(Running& r) {
    r.reply->setParent(nullptr);
    r.reply->deleteLater();
    r.manager.release()->deleteLater();
}

} // namespace

SoapBatch::~SoapBatch() {
    cancel();
}

void SoapBatch::run(const QList<Call>& calls) {
    m_queue.insert(m_queue.end(), calls.begin(), calls.end());
    // Started from the event loop, so every result is later than this call.
    QTimer::singleShot(0, this, &SoapBatch::startNext);
}

void SoapBatch::cancel() {
    m_queue.clear();
    std::vector<std::unique_ptr<Running>> running = std::move(m_running);
    m_running.clear();
    for (const auto& r : running) {
        r->reply->disconnect(this);
        r->reply->abort();
        dispose(*r);
    }
}

void SoapBatch::startNext() {
    while (int(m_running.size()) < m_maxInFlight && !m_queue.empty()) {
        const Call call = m_queue.front();
        m_queue.pop_front();
        const QString label = SoapRequest::logLabel(call.path, call.operation, call.params);
        QUrl url;
        QNetworkProxy proxy;
        try {
            url = SoapRequest::serviceUrl(call.path);
            proxy = SoapRequest::proxyFor(url);
        } catch (const NetworkError& error) {
            SoapRequest::logFailed(label, 0, error.number(), error.description());
            emit failed(call.id, error.description());
            continue;
        }
        auto running = std::make_unique<Running>();
        Running* r = running.get();
        r->id = call.id;
        r->logLabel = label;
        r->elapsed.start();
        r->manager = std::make_unique<QNetworkAccessManager>();
        r->manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
        r->manager->setProxy(proxy);
        connect(r->manager.get(), &QNetworkAccessManager::proxyAuthenticationRequired, this,
                [this, r](const QNetworkProxy& asking, QAuthenticator* authenticator) {
                    if (!ProxyAuth::isProxyInUse(asking, r->manager->proxy())) {
                        r->demand = ProxyAuth::Demand::NotTheProxy;
                        return;
                    }
                    r->demand = ProxyAuth::Demand::Answered;
                    if (m_proxyAuth)
                        m_proxyAuth->answer(asking, r->manager->proxy(), authenticator,
                                            r->proxyTries);
                });
        r->reply = SoapRequest::post(*r->manager, url, call.operation, call.params);
        const auto stop = [r](const QString& reason) {
            if (r->stopReason.isEmpty())
                r->stopReason = reason;
            r->reply->abort(); // emits finished
        };
        connect(r->reply, &QNetworkReply::readyRead, this, [r, stop] {
            r->body += r->reply->readAll();
            if (r->body.size() > SoapTransport::kMaxAnswerBytes)
                stop(QStringLiteral("A resposta passou de %1 bytes")
                         .arg(SoapTransport::kMaxAnswerBytes));
        });
        connect(r->reply, &QNetworkReply::finished, this, [this, r] { done(r); });
        r->deadline.setSingleShot(true);
        connect(&r->deadline, &QTimer::timeout, this, [this, stop] {
            // Seconds with their fraction: a short deadline never reads "0 s".
            stop(QStringLiteral("Sem resposta completa em %1 s")
                     .arg(QLocale(QLocale::Portuguese, QLocale::Brazil)
                              .toString(double(m_deadline.count()) / 1000.0, 'g', 6)));
        });
        r->deadline.start(m_deadline);
        m_running.push_back(std::move(running));
        m_mostInFlight = std::max(m_mostInFlight, int(m_running.size()));
    }
    if (m_running.empty() && m_queue.empty() && !m_finishing) {
        m_finishing = true;
        emit finished();
        m_finishing = false;
    }
}

void SoapBatch::done(Running* r) {
    const auto it = std::find_if(m_running.begin(), m_running.end(),
                                 [r](const auto& p) { return p.get() == r; });
    if (it == m_running.end())
        return;
    std::unique_ptr<Running> finished = std::move(*it);
    m_running.erase(it);
    finished->deadline.stop();
    const QNetworkProxy proxy = finished->manager->proxy();
    dispose(*finished);
    if (finished->body.size() <= SoapTransport::kMaxAnswerBytes)
        finished->body += finished->reply->readAll();
    const QPointer<SoapBatch> alive(this);
    const qint64 ms = finished->elapsed.elapsed();
    if (!finished->stopReason.isEmpty()) {
        SoapRequest::logFailed(finished->logLabel, ms, finished->reply->error(),
                               finished->stopReason);
        emit failed(finished->id, finished->stopReason);
    } else {
        try {
            const QString answer =
                SoapRequest::answerOf(*finished->reply, finished->body, finished->demand);
            SoapRequest::logAnswered(
                finished->logLabel, ms,
                finished->reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                answer.size());
            emit answered(finished->id, answer);
        } catch (const NetworkError& error) {
            if (m_proxyAuth && finished->demand == ProxyAuth::Demand::Answered &&
                finished->reply->error() == QNetworkReply::ProxyAuthenticationRequiredError)
                m_proxyAuth->forget(proxy);
            SoapRequest::logFailed(finished->logLabel, ms, error.number(), error.description());
            emit failed(finished->id, error.description());
        }
    }
    // A listener may have cancelled (or destroyed) the batch meanwhile.
    if (alive)
        startNext();
}

// This class's meta-object code is built into this file's own object, not
// the library's combined one: a program that links only this class does
// not pull every other class of the library with it (src/CMakeLists.txt).
#include "moc_SoapBatch.cpp"
