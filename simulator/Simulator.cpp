// Wiring of the simulator: routes of the HTTP server to the handlers, the
// serving thread and the read-only accessors for tests.
#include "Simulator.h"

#include "RecordingServer.h"
#include "Seed.h"
#include "Services.h"
#include "State.h"

#include <sys/socket.h>

#include <atomic>
#include <thread>

namespace valdoria {

struct Simulator::Impl {
    explicit Impl(const SimulatorOptions& opts)
        : options(opts), state(opts), server([this](std::string raw) { state.appendRaw(raw); }) {}

    SimulatorOptions options;
    State state;
    RecordingServer server;
    std::thread thread;
    std::atomic<bool> loopEnded{false};
    int port = 0;
    bool running = false;
};

namespace {

void send(httplib::Response& res, const HttpReply& reply) {
    res.status = reply.status;
    res.set_content(reply.body, reply.contentType.c_str());
}

std::map<std::string, std::string> queryOf(const httplib::Request& req) {
    std::map<std::string, std::string> query;
    for (const auto& [key, value] : req.params) {
        query.emplace(key, value); // the first of repeated keys wins
    }
    return query;
}

void route(RecordingServer& server, State& state) {
    auto soap = [&state](SoapEndpoint endpoint) {
        return [&state, endpoint](const httplib::Request& req, httplib::Response& res) {
            send(res, handleSoap(state, endpoint, req.get_header_value("SOAPAction"), req.body));
        };
    };
    server.Post("/orn/server/index.php", soap(SoapEndpoint::Main));
    server.Post("/orn/server/index_dapi.php", soap(SoapEndpoint::Dapi));

    auto upload = [&state](UploadKind kind) {
        return [&state, kind](const httplib::Request& req, httplib::Response& res) {
            send(res, handleUpload(state, kind, queryOf(req),
                                   req.get_header_value(kOriginalContentType), req.body));
            // The uploader reads the answer up to the close, as of an
            // HTTP/1.0 server.
            res.set_header("Connection", "close");
        };
    };
    server.Post("/client/xt_upload_1_15_01.php", upload(UploadKind::Declaracao));
    server.Post("/client/xt_upload_simples.php", upload(UploadKind::Simples));

    server.Get("/protocoloDown.php", [&state](const httplib::Request& req, httplib::Response& res) {
        send(res, handleReceiptPage(state, req.get_param_value("IE"), req.get_param_value("key"),
                                    req.get_param_value("ref")));
    });
}

} // namespace

namespace {
constexpr size_t kWorkers = 24;
} // namespace

Simulator::Simulator(SimulatorOptions options) {
    try {
        impl_ = std::make_unique<Impl>(options);
    } catch (const std::exception& e) {
        throw SimulatorError(e.what());
    }
    // Connections are kept alive as a common web server keeps them (up to
    // 100 requests each, 5 s idle), and each holds a worker while it lasts:
    // enough workers for a client's 6 connections and a few more clients.
    impl_->server.new_task_queue = [] {
        return new httplib::ThreadPool(kWorkers);
    };
    impl_->server.set_keep_alive_max_count(100);
    impl_->server.set_keep_alive_timeout(5);
    impl_->server.set_payload_max_length(512u * 1024u * 1024u);
    // httplib's default also sets SO_REUSEPORT, which would let a second
    // simulator share a busy port silently; address reuse alone is enough
    // for quick restarts.
    impl_->server.set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    route(impl_->server, impl_->state);
}

Simulator::~Simulator() {
    stop();
}

void Simulator::start() {
    if (impl_->running) {
        throw SimulatorError("the simulator is already running");
    }
    auto& server = impl_->server;
    server.resumeServing();
    if (impl_->options.port == 0) {
        impl_->port = server.bind_to_any_port("127.0.0.1");
    } else {
        impl_->port =
            server.bind_to_port("127.0.0.1", impl_->options.port) ? impl_->options.port : -1;
    }
    if (impl_->port <= 0) {
        throw SimulatorError("cannot listen on 127.0.0.1:" + std::to_string(impl_->options.port));
    }
    impl_->loopEnded = false;
    impl_->thread = std::thread([impl = impl_.get()] {
        impl->server.listen_after_bind();
        impl->loopEnded = true;
    });
    // stop() only reaches a loop that has started; wait for it, or for its
    // early end when the socket could not be served.
    while (!server.is_running() && !impl_->loopEnded) {
        std::this_thread::yield();
    }
    if (!server.is_running()) {
        impl_->thread.join();
        throw SimulatorError("cannot serve on 127.0.0.1:" + std::to_string(impl_->port));
    }
    impl_->running = true;
}

void Simulator::stop() {
    if (!impl_ || !impl_->running) {
        return;
    }
    impl_->server.stopServing();
    impl_->thread.join();
    impl_->running = false;
}

int Simulator::port() const {
    return impl_->port;
}
std::string Simulator::dataDir() const {
    return impl_->state.dataDir().string();
}
std::string Simulator::version() const {
    return impl_->state.version();
}
std::string Simulator::years() const {
    return impl_->state.years();
}
std::vector<std::string> Simulator::rawRequests() const {
    return impl_->state.rawRequests();
}
std::string Simulator::rawLogPath() const {
    return impl_->state.rawLogPath().string();
}

std::vector<UploadRecord> Simulator::uploads() const {
    return impl_->state.locked([](Store& s) { return s.uploads(); });
}

std::vector<Transmission> Simulator::transmissions() const {
    return impl_->state.locked([](Store& s) { return s.transmissions(); });
}

std::vector<Company> Simulator::companies() const {
    return impl_->state.locked([](Store& s) { return s.companies(); });
}

std::optional<Company> Simulator::company(const std::string& ie) const {
    return impl_->state.locked([&](Store& s) { return s.companyByIe(digitsOf(ie)); });
}

std::map<std::string, std::string> Simulator::accountant() const {
    return impl_->state.locked([](Store& s) { return s.accountant(); });
}

void Simulator::addCompany(const Company& company) {
    Company c = company;
    c.ie = digitsOf(c.ie);
    c.cnpj = digitsOf(c.cnpj);
    impl_->state.locked([&](Store& s) {
        s.upsertCompany(c);
        return 0;
    });
}

} // namespace valdoria
