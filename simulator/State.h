// Everything one simulator instance knows, behind one lock: the store, the
// resolved options, the key generator and the raw request log. Transmissions
// whose delay has run out are processed on every locked access, so no timer
// thread is needed.
#pragma once

#include "Options.h"
#include "Store.h"

#include <filesystem>
#include <mutex>
#include <random>
#include <string>
#include <vector>

namespace valdoria {

class State {
public:
    // Resolves the data folder (creating it, or a private temporary one),
    // opens the store and applies the seed. Throws SeedError, StoreError,
    // FieldError or std::filesystem::filesystem_error.
    explicit State(const SimulatorOptions& options);
    ~State() = default;
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    // Runs `f(store)` under the lock, after processing what is due.
    template <class F> auto locked(F&& f) {
        std::lock_guard<std::mutex> guard(mutex_);
        processDue();
        return f(store_);
    }

    std::chrono::system_clock::time_point now() const;
    const std::string& years() const { return years_; }
    const std::string& version() const { return version_; }
    const std::filesystem::path& dataDir() const { return dir_.path; }
    std::filesystem::path uploadsDir() const { return dir_.path / "uploads"; }
    std::filesystem::path rawLogPath() const { return dir_.path / "requests.log"; }

    // A fresh 8-character key no company holds yet. Call only under locked().
    std::string newKey();

    // Appends one request's raw bytes to the in-memory log and to the log file.
    void appendRaw(const std::string& bytes);
    std::vector<std::string> rawRequests() const;

private:
    void processDue();

    // The data folder; a private temporary one is removed with the state,
    // after the store (declared later) has closed its database.
    class DataDir {
    public:
        explicit DataDir(const std::string& requested);
        ~DataDir();
        DataDir(const DataDir&) = delete;
        DataDir& operator=(const DataDir&) = delete;
        std::filesystem::path path;
        bool owned = false;
    };

    mutable std::mutex mutex_;
    mutable std::mutex rawMutex_;
    SimulatorOptions options_;
    DataDir dir_;
    std::string years_;
    std::string version_;
    Store store_;
    std::mt19937_64 random_;
    std::vector<std::string> raw_;
};

} // namespace valdoria
