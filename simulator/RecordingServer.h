// cpp-httplib server that serves the requests of each connection (kept alive
// as the server's keep-alive settings say) over a stream of its own, so that
// it can (1) keep the exact bytes of every request for the
// raw log, (2) keep httplib's multipart parser away from the upload bodies,
// whose Content-Type separates the boundary with a comma, and (3) send each
// whole answer in a single write, so a client that reads only its first
// chunk of data still sees the body.
#pragma once

#include <httplib.h>

#include <atomic>
#include <functional>
#include <string>

namespace valdoria {

// Header under which a multipart request's own Content-Type is handed to the
// handlers; httplib itself then sees no Content-Type and leaves the body raw.
inline constexpr const char* kOriginalContentType = "X-Valdoria-Content-Type";

class RecordingServer : public httplib::Server {
public:
    // `sink` receives each request's raw bytes (request line, headers and the
    // body bytes read), before any byte of its answer is sent. Called on the
    // server's worker threads.
    explicit RecordingServer(std::function<void(std::string)> sink);

    // Stops listening and ends the connections kept alive between requests
    // at once (httplib's own stop() leaves them to their idle time).
    void stopServing();
    // Before listening again after stopServing().
    void resumeServing() { stopping_ = false; }

private:
    bool process_and_close_socket(socket_t sock) override;

    std::function<void(std::string)> sink_;
    std::atomic<bool> stopping_{false};
};

} // namespace valdoria
