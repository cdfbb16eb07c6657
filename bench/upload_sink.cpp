// Loopback receiver for the upload benchmark: accepts HTTP/1.0 POSTs one after
// another, reads each request to its Content-Length and throws the bytes away,
// answers a short "200 OK" and closes. Prints its port on the first stdout line
// and one line per request ("received <head bytes> <body bytes>") on stderr.
// Plain POSIX sockets, so its own cost stays out of the client's figures.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Content-Length of a header block, or -1 when absent.
long long contentLength(const std::string& head) {
    std::string lower(head);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    const auto at = lower.find("\r\ncontent-length:");
    if (at == std::string::npos)
        return -1;
    return std::strtoll(lower.c_str() + at + 17, nullptr, 10);
}

void serve(int fd) {
    std::vector<char> buf(1 << 20);
    std::string head;
    long long body = 0;
    long long expected = -1;
    for (;;) {
        const ssize_t n = recv(fd, buf.data(), buf.size(), 0);
        if (n <= 0)
            break;
        if (expected < 0) {
            head.append(buf.data(), static_cast<size_t>(n));
            const auto end = head.find("\r\n\r\n");
            if (end == std::string::npos)
                continue;
            body = static_cast<long long>(head.size() - (end + 4));
            head.resize(end + 4);
            expected = std::max(0LL, contentLength(head));
        } else {
            body += n;
        }
        if (body >= expected)
            break;
    }
    static const char reply[] = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nOK\n";
    if (send(fd, reply, sizeof(reply) - 1, MSG_NOSIGNAL) < 0)
        std::perror("send");
    std::fprintf(stderr, "received %zu %lld\n", head.size(), body);
    shutdown(fd, SHUT_WR);
    // Let the client read the reply and close first, so no reset cuts it short.
    while (recv(fd, buf.data(), buf.size(), 0) > 0) {
    }
    close(fd);
}

} // namespace

int main() {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    if (listener < 0) {
        std::perror("socket");
        return 1;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof(addr);
    if (bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) < 0 ||
        listen(listener, 4) < 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) < 0) {
        std::perror("bind/listen");
        return 1;
    }
    std::printf("%u\n", ntohs(addr.sin_port));
    std::fflush(stdout);
    for (;;) {
        const int fd = accept(listener, nullptr, nullptr);
        if (fd < 0) {
            std::perror("accept");
            return 1;
        }
        serve(fd);
    }
}
