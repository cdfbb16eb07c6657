// The recording stream and the per-connection loop of RecordingServer.
#include "RecordingServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>

namespace valdoria {

namespace {

void addressOf(int sock, bool peer, std::string& ip, int& port) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    auto* raw = reinterpret_cast<sockaddr*>(&address);
    if ((peer ? getpeername(sock, raw, &length) : getsockname(sock, raw, &length)) != 0) {
        return;
    }
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        auto* in = reinterpret_cast<sockaddr_in*>(&address);
        inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
        port = ntohs(in->sin_port);
    } else if (address.ss_family == AF_INET6) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&address);
        inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
        port = ntohs(in6->sin6_port);
    }
    ip = text;
}

// A socket stream that records what the request parser consumes and holds
// the answer until the request is done.
class RecordingStream : public httplib::Stream {
public:
    RecordingStream(int sock, int timeoutMs, std::function<void()> beforeFirstWrite)
        : sock_(sock), timeoutMs_(timeoutMs), beforeFirstWrite_(std::move(beforeFirstWrite)) {}

    bool is_readable() const override {
        if (pos_ < buffer_.size()) {
            return true;
        }
        pollfd p{sock_, POLLIN, 0};
        return poll(&p, 1, timeoutMs_) > 0;
    }

    bool is_writable() const override { return true; }

    ssize_t read(char* ptr, size_t size) override {
        if (pos_ == buffer_.size()) {
            if (!is_readable()) {
                return -1;
            }
            char chunk[8192];
            auto n = recv(sock_, chunk, sizeof chunk, 0);
            if (n <= 0) {
                return n;
            }
            buffer_.assign(chunk, static_cast<size_t>(n));
            pos_ = 0;
        }
        auto n = std::min(size, buffer_.size() - pos_);
        std::memcpy(ptr, buffer_.data() + pos_, n);
        recorded_.append(ptr, n);
        pos_ += n;
        return static_cast<ssize_t>(n);
    }

    ssize_t write(const char* ptr, size_t size) override {
        if (beforeFirstWrite_) {
            auto hook = std::move(beforeFirstWrite_);
            beforeFirstWrite_ = nullptr;
            hook();
        }
        out_.append(ptr, size);
        return static_cast<ssize_t>(size);
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        addressOf(sock_, true, ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        addressOf(sock_, false, ip, port);
    }
    socket_t socket() const override { return sock_; }

    const std::string& recorded() const { return recorded_; }

    // Begins the next request on the connection: what was read ahead of it
    // stays, its recording and answer start empty.
    void startRequest(std::function<void()> beforeFirstWrite) {
        recorded_.clear();
        out_.clear();
        beforeFirstWrite_ = std::move(beforeFirstWrite);
    }
    bool hasBuffered() const { return pos_ < buffer_.size(); }
    // True when the held answer's head says the connection closes after it.
    bool answerCloses() const {
        const auto end = out_.find("\r\n\r\n");
        const std::string head = end == std::string::npos ? out_ : out_.substr(0, end + 2);
        return head.find("\r\nConnection: close\r\n") != std::string::npos;
    }

    // Sends the held answer; false when the peer went away or stalled.
    bool flush() {
        size_t sent = 0;
        while (sent < out_.size()) {
            pollfd p{sock_, POLLOUT, 0};
            if (poll(&p, 1, timeoutMs_) <= 0) {
                return false;
            }
            auto n = send(sock_, out_.data() + sent, out_.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) {
                return false;
            }
            sent += static_cast<size_t>(n);
        }
        return true;
    }

private:
    int sock_;
    int timeoutMs_;
    std::function<void()> beforeFirstWrite_;
    std::string buffer_;
    size_t pos_ = 0;
    std::string recorded_;
    std::string out_;
};

} // namespace

RecordingServer::RecordingServer(std::function<void(std::string)> sink) : sink_(std::move(sink)) {}

bool RecordingServer::process_and_close_socket(socket_t sock) {
    bool logged = false;
    RecordingStream stream(static_cast<int>(sock), static_cast<int>(read_timeout_sec_ * 1000),
                           nullptr);
    auto setup = [](httplib::Request& req) {
        auto type = req.get_header_value("Content-Type");
        std::string lowered = type;
        std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (lowered.rfind("multipart/", 0) == 0) {
            req.headers.erase("Content-Type");
            req.headers.emplace(kOriginalContentType, type);
        }
    };
    // The connection is kept for the next request as a common web server
    // keeps it: up to keep_alive_max_count_ requests, keep_alive_timeout_sec_
    // idle between them (and no longer than the server serves).
    const auto nextRequestComes = [&] {
        if (stream.hasBuffered())
            return true;
        const auto idleUntil =
            std::chrono::steady_clock::now() + std::chrono::seconds(keep_alive_timeout_sec_);
        while (!stopping_ && std::chrono::steady_clock::now() < idleUntil) {
            pollfd p{static_cast<int>(sock), POLLIN, 0};
            const int ready = poll(&p, 1, 50);
            if (ready != 0)
                return ready > 0;
        }
        return false;
    };
    bool ok = true;
    for (size_t served = 0; ok;) {
        logged = false;
        stream.startRequest([&]() {
            logged = true;
            sink_(stream.recorded());
        });
        const bool last = ++served >= keep_alive_max_count_;
        bool closed = false;
        ok = process_request(stream, last, closed, setup);
        if (!logged && !stream.recorded().empty()) {
            sink_(stream.recorded());
        }
        const bool closes = stream.answerCloses();
        ok = stream.flush() && ok;
        if (closed || closes || last || !nextRequestComes())
            break;
    }
    shutdown(sock, SHUT_RDWR);
    close(sock);
    return ok;
}

void RecordingServer::stopServing() {
    stopping_ = true;
    stop();
}

} // namespace valdoria
