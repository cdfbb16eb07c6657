// The one HTTP engine of the SOAP calls: a libcurl multi handle driven by the
// thread's Qt event loop (a socket notifier per socket libcurl watches, a
// timer for its time-outs), so no transfer ever blocks the windows. Every
// call of the thread shares its connection pool: connections are kept alive
// and reused, at most kMaxPerHost at once to one server or proxy; further
// transfers wait in libcurl's queue for one to be free.
//
// One engine per thread, made at its first use; the application thread's goes
// with the QCoreApplication, another thread's when that thread finishes.
#pragma once

#include <QObject>
#include <QTimer>

#include <curl/curl.h>

#include <functional>
#include <memory>
#include <unordered_map>

class QSocketNotifier;

class CurlEngine : public QObject {
    Q_OBJECT
public:
    // Connections open at once to one host (server or proxy), as browsers.
    static constexpr long kMaxPerHost = 6;

    // The calling thread's engine. Never null while the thread runs.
    static CurlEngine& instance();
    ~CurlEngine() override;

    // Starts easy (owned by the caller, which keeps it and what it points to
    // alive until done is called or remove() is). done is called once, from
    // the event loop and outside every libcurl callback, with the
    // transfer's result; easy is out of the engine by then. Returns false
    // (and never calls done) when libcurl refuses the transfer.
    bool add(CURL* easy, std::function<void(CURLcode)> done);
    // Takes easy out of the engine without calling its done. Safe for an easy
    // handle not (or no longer) in it; never call it from a libcurl callback.
    void remove(CURL* easy);

    // New connections opened since the engine was made (for measurements).
    long connectionsOpened() const { return m_connectionsOpened; }

private:
    CurlEngine();
    static int onSocket(CURL* easy, curl_socket_t socket, int what, void* engine, void*);
    static int onTimer(CURLM* multi, long timeoutMs, void* engine);
    void watch(curl_socket_t socket, int what);
    void act(curl_socket_t socket, int mask);
    // Hands the finished transfers to their done callbacks.
    void collect();

    struct Watch {
        QSocketNotifier* read = nullptr;
        QSocketNotifier* write = nullptr;
    };
    CURLM* m_multi;
    QTimer m_timer;
    std::unordered_map<curl_socket_t, Watch> m_watches;
    std::unordered_map<CURL*, std::function<void(CURLcode)>> m_done;
    long m_connectionsOpened = 0;
};
