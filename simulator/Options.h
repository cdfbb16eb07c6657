// Options of a simulator instance, shared by the library API, the command
// line and the test fixture.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace valdoria {

struct SimulatorOptions {
    // Folder for the database, the stored uploads and the raw request log;
    // created when missing. Empty: a private temporary folder, removed when
    // the simulator is destroyed.
    std::string dataDir{};
    // TCP port on 127.0.0.1; 0 picks a free one (read it back with port()).
    int port = 0;
    // Seconds after its upload at which a transmission turns processed; 0 = at once.
    int processAfterSeconds = 0;
    // Seed of the generator of access keys.
    std::uint64_t randomSeed = 1;
    // Seed file (format in README.md); empty: the built-in companies.
    std::string seedFile{};
    // Newest program version (at most 20 characters); empty: the seed's, else "1.16.01".
    std::string version{};
    // Working years (at most 9 characters); empty: the seed's, else last and
    // current year of the clock, e.g. "2025/2026".
    std::string years{};
    // The server's clock; empty: the system clock. Tests pass their own to
    // move time forward without waiting.
    std::function<std::chrono::system_clock::time_point()> clock{};
};

} // namespace valdoria
