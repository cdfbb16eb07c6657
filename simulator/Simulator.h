// The municipal server stand-in used by tests and the demo: SOAP operations,
// upload scripts and the printable receipt page on 127.0.0.1, with its state
// in SQLite. Pure C++ (cpp-httplib, SQLite, OpenSSL); no Qt.
//
//   valdoria::Simulator sim({.port = 0});
//   sim.start();                       // listening when it returns
//   ... talk to 127.0.0.1:sim.port() ...
//   sim.stop();                        // also done by the destructor
#pragma once

#include "simulator/Options.h"
#include "simulator/Records.h"

#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace valdoria {

class SimulatorError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Simulator {
public:
    // Prepares the state (data folder, database, seed) without listening.
    // Throws SimulatorError for a bad seed file, an unfit version or years
    // text, or a data folder or database that cannot be opened.
    explicit Simulator(SimulatorOptions options = {});
    // Stops serving; a private temporary data folder is removed.
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Binds 127.0.0.1 on the configured port and serves on a thread of its
    // own; returns once connections are accepted. Throws SimulatorError when
    // the port cannot be bound or the simulator is already running.
    void start();
    // Stops accepting, finishes the requests in flight and joins the thread.
    // Safe to call more than once.
    void stop();

    // The bound port (meaningful after start()).
    int port() const;
    std::string dataDir() const;
    std::string version() const;
    std::string years() const;

    // Raw bytes of every request received so far, in order of arrival. The
    // same log is appended to rawLogPath() as "=== request N, B bytes ===",
    // a line break, the B bytes and a line break.
    std::vector<std::string> rawRequests() const;
    std::string rawLogPath() const;

    // State as it stands now; pending transmissions whose delay has run out
    // are processed before it is read.
    std::vector<UploadRecord> uploads() const;
    std::vector<Transmission> transmissions() const;
    std::vector<Company> companies() const;
    std::optional<Company> company(const std::string& ie) const;
    // The registered accountant's fields by SOAP parameter name; empty when none.
    std::map<std::string, std::string> accountant() const;

    // Adds or updates a company (an empty key keeps the one issued).
    void addCompany(const Company& company);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace valdoria
