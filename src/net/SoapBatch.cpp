// Parallel SOAP calls over one network access manager, bounded in number.
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
    QNetworkReply* reply = nullptr; // owned: deleted later by done()
    QTimer deadline;
    QByteArray body;
    QString stopReason; // set when this side ended the call
    QString logLabel;   // the call as the support log names it
    QElapsedTimer elapsed;
    int proxyTries = 0;
};

SoapBatch::SoapBatch(int maxInFlight, ProxyAuth* proxyAuth, QObject* parent,
                     std::chrono::milliseconds deadline)
    : QObject(parent), m_maxInFlight(std::max(1, maxInFlight)), m_proxyAuth(proxyAuth),
      m_deadline(deadline), m_manager(std::make_unique<QNetworkAccessManager>()) {
    QNetworkProxyFactory::setUseSystemConfiguration(true); // as SoapTransport: "sistema" mode
    m_manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    connect(m_manager.get(), &QNetworkAccessManager::proxyAuthenticationRequired, this,
            [this](const QNetworkProxy& proxy, QAuthenticator* authenticator) {
                // Every call of a batch goes the same way (the proxy is the
                // one set for the latest call); the demand is judged by it.
                if (!ProxyAuth::isProxyInUse(proxy, m_manager->proxy())) {
                    m_demand = ProxyAuth::Demand::NotTheProxy;
                    return;
                }
                m_demand = ProxyAuth::Demand::Answered;
                if (m_proxyAuth && !m_running.empty())
                    m_proxyAuth->answer(proxy, m_manager->proxy(), authenticator,
                                        m_running.front()->proxyTries);
            });
}

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
        r->reply->deleteLater();
    }
}

void SoapBatch::startNext() {
    while (int(m_running.size()) < m_maxInFlight && !m_queue.empty()) {
        const Call call = m_queue.front();
        m_queue.pop_front();
        const QString label = SoapRequest::logLabel(call.path, call.operation, call.params);
        QUrl url;
        try {
            url = SoapRequest::serviceUrl(call.path);
            m_manager->setProxy(SoapRequest::proxyFor(url));
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
        r->reply = SoapRequest::post(*m_manager, url, call.operation, call.params);
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
    finished->reply->deleteLater();
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
                SoapRequest::answerOf(*finished->reply, finished->body, m_demand);
            SoapRequest::logAnswered(
                finished->logLabel, ms,
                finished->reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                answer.size());
            emit answered(finished->id, answer);
        } catch (const NetworkError& error) {
            if (m_proxyAuth && m_demand == ProxyAuth::Demand::Answered &&
                finished->reply->error() == QNetworkReply::ProxyAuthenticationRequiredError)
                m_proxyAuth->forget(m_manager->proxy());
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
