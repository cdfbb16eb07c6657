// libcurl's multi interface on the Qt event loop: libcurl names the sockets
// to watch and the next time-out; notifiers and a timer hand the events back.
#include "net/CurlEngine.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>

#include <mutex>
#include <vector>

namespace {

// Idle connections kept for reuse: the pool of a few servers and proxies.
constexpr long kKeptConnections = 4 * CurlEngine::kMaxPerHost;

thread_local QPointer<CurlEngine> t_engine;

} // namespace

CurlEngine& CurlEngine::instance() {
    if (!t_engine) {
        static std::once_flag global;
        std::call_once(global, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
        auto* engine = new CurlEngine();
        QThread* thread = QThread::currentThread();
        QCoreApplication* app = QCoreApplication::instance();
        if (app && app->thread() == thread)
            engine->setParent(app);
        else
            QObject::connect(thread, &QThread::finished, engine, &QObject::deleteLater,
                             Qt::DirectConnection);
        t_engine = engine;
    }
    return *t_engine;
}

CurlEngine::CurlEngine() : m_multi(curl_multi_init()) {
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &CurlEngine::onSocket);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &CurlEngine::onTimer);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_MAX_HOST_CONNECTIONS, kMaxPerHost);
    curl_multi_setopt(m_multi, CURLMOPT_MAXCONNECTS, kKeptConnections);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { act(CURL_SOCKET_TIMEOUT, 0); });
}

CurlEngine::~CurlEngine() {
    // Transfers still in: their owners are told nothing (they go with the
    // application too) and their handles stay theirs.
    for (const auto& [easy, done] : m_done)
        curl_multi_remove_handle(m_multi, easy);
    m_done.clear();
    curl_multi_cleanup(m_multi);
    for (auto& [socket, w] : m_watches) {
        delete w.read;
        delete w.write;
    }
}

bool CurlEngine::add(CURL* easy, std::function<void(CURLcode)> done) {
    if (curl_multi_add_handle(m_multi, easy) != CURLM_OK)
        return false;
    m_done[easy] = std::move(done);
    return true;
}

void CurlEngine::remove(CURL* easy) {
    if (m_done.erase(easy) > 0)
        curl_multi_remove_handle(m_multi, easy);
}

int CurlEngine::onSocket(CURL*, curl_socket_t socket, int what, void* engine, void*) {
    static_cast<CurlEngine*>(engine)->watch(socket, what);
    return 0;
}

int CurlEngine::onTimer(CURLM*, long timeoutMs, void* engine) {
    // libcurl must not be re-entered from here: a due time-out is acted on
    // from the event loop.
    QTimer& timer = static_cast<CurlEngine*>(engine)->m_timer;
    if (timeoutMs < 0)
        timer.stop();
    else
        timer.start(static_cast<int>(timeoutMs));
    return 0;
}

void CurlEngine::watch(curl_socket_t socket, int what) {
    Watch& w = m_watches[socket];
    // A notifier may be the sender of the event being handled: it is
    // switched off at once and deleted from the event loop.
    const auto drop = [](QSocketNotifier*& n) {
        if (!n)
            return;
        n->setEnabled(false);
        n->disconnect();
        n->deleteLater();
        n = nullptr;
    };
    if (what == CURL_POLL_REMOVE) {
        drop(w.read);
        drop(w.write);
        m_watches.erase(socket);
        return;
    }
    const bool wantRead = what == CURL_POLL_IN || what == CURL_POLL_INOUT;
    const bool wantWrite = what == CURL_POLL_OUT || what == CURL_POLL_INOUT;
    const auto keep = [this, socket](QSocketNotifier*& n, bool wanted, QSocketNotifier::Type type,
                                     int mask) {
        if (!wanted) {
            if (n)
                n->setEnabled(false);
            return;
        }
        if (!n) {
            n = new QSocketNotifier(static_cast<qintptr>(socket), type, this);
            connect(n, &QSocketNotifier::activated, this,
                    [this, socket, mask] { act(socket, mask); });
        }
        n->setEnabled(true);
    };
    keep(w.read, wantRead, QSocketNotifier::Read, CURL_CSELECT_IN);
    keep(w.write, wantWrite, QSocketNotifier::Write, CURL_CSELECT_OUT);
}

void CurlEngine::act(curl_socket_t socket, int mask) {
    int running = 0;
    curl_multi_socket_action(m_multi, socket, mask, &running);
    collect();
}

void CurlEngine::collect() {
    // Copied out first: a done callback may start or end other transfers.
    std::vector<std::pair<CURL*, CURLcode>> finished;
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi, &left))
        if (message->msg == CURLMSG_DONE)
            finished.emplace_back(message->easy_handle, message->data.result);
    const QPointer<CurlEngine> alive(this);
    for (const auto& [easy, result] : finished) {
        const auto it = m_done.find(easy);
        if (it == m_done.end())
            continue;
        std::function<void(CURLcode)> done = std::move(it->second);
        m_done.erase(it);
        long opened = 0;
        if (curl_easy_getinfo(easy, CURLINFO_NUM_CONNECTS, &opened) == CURLE_OK)
            m_connectionsOpened += opened;
        curl_multi_remove_handle(m_multi, easy);
        done(result);
        if (!alive)
            return;
    }
}

// This class's meta-object code is built into this file's own object (see
// net/SoapBatch.cpp).
#include "moc_CurlEngine.cpp"
