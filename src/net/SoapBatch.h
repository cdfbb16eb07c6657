// Many SOAP calls to the municipal server at once, without blocking: a queue
// of calls, at most maxInFlight at once, on the calling thread's event loop and
// its shared HTTP engine (net/CurlEngine.h: kept-alive connections, at most
// CurlEngine::kMaxPerHost to one server, shared with every other call), each answered or failed on
// its own. The requests and the reading of answers are SoapTransport's (net/SoapRequest.h); what
// differs is that nobody waits: results arrive as signals, so windows stay usable.
//
// Per call: the same answer bound (SoapTransport::kMaxAnswerBytes) and a
// deadline for the whole call (SoapTimeouts::total by default). A proxy's
// demand for a password is answered through ProxyAuth, as for every call.
#pragma once

#include "net/ProxyAuth.h"
#include "net/SoapEnvelope.h"

#include <QList>
#include <QObject>
#include <QString>

#include <chrono>
#include <deque>
#include <memory>

class QNetworkReply;

class SoapBatch : public QObject {
    Q_OBJECT
public:
    struct Call {
        int id = 0; // the caller's own number, given back with the result
        QString path;
        QString operation;
        QList<Soap::SoapParam> params;
    };

    // maxInFlight >= 1. proxyAuth may be null (not owned, must outlive this).
    // deadline: the longest one call may take, from its start to its whole
    // answer.
    explicit SoapBatch(int maxInFlight = 4, ProxyAuth* proxyAuth = nullptr,
                       QObject* parent = nullptr,
                       std::chrono::milliseconds deadline = kDefaultDeadline);
    ~SoapBatch() override;

    // SoapTimeouts::total, the deadline of every blocking call.
    static constexpr std::chrono::milliseconds kDefaultDeadline{120000};

    // Queues the calls and starts as many as the limit allows. Each call ends
    // in exactly one answered() or failed(), later, from the event loop; when
    // the queue is empty and none is in flight, finished() follows.
    void run(const QList<Call>& calls);
    // Stops: queued calls are dropped and calls in flight aborted, without
    // any signal for them; finished() is not emitted. Safe at any time.
    void cancel();

    // The most calls that were in flight at one time since construction.
    int mostInFlight() const { return m_mostInFlight; }

signals:
    // The whole response body, decoded as SoapClient::call returns it.
    void answered(int id, const QString& answer);
    // Why no answer could be had (the server unreachable, a time-out, an
    // invalid address in the settings...).
    void failed(int id, const QString& reason);
    void finished();

private:
    struct Running;
    void startNext();
    void done(Running* running);

    int m_maxInFlight;
    ProxyAuth* m_proxyAuth;
    std::chrono::milliseconds m_deadline;
    std::deque<Call> m_queue;
    std::vector<std::unique_ptr<Running>> m_running;
    int m_mostInFlight = 0;
    bool m_finishing = false;
};
