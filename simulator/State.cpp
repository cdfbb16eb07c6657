// State of a simulator instance: data folder, seeding, processing of
// pending transmissions and the raw request log.
#include "State.h"

#include "Answers.h"
#include "Seed.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <system_error>

namespace valdoria {

namespace {

std::string defaultYears(std::chrono::system_clock::time_point now) {
    std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm parts{};
    localtime_r(&seconds, &parts);
    int year = parts.tm_year + 1900;
    return std::to_string(year - 1) + "/" + std::to_string(year);
}

// "MM/yyyy" of a reception time: the reference shown for an upload that
// names none (Simples Nacional extracts).
std::string monthOf(std::int64_t seconds) {
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm parts{};
    localtime_r(&t, &parts);
    char buffer[16];
    auto n = std::strftime(buffer, sizeof buffer, "%m/%Y", &parts);
    return std::string(buffer, n);
}

std::string protocolFor(std::chrono::system_clock::time_point now, std::int64_t id) {
    std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm parts{};
    localtime_r(&seconds, &parts);
    char day[16];
    auto n = std::strftime(day, sizeof day, "%Y%m%d", &parts);
    std::string number = std::to_string(id);
    return std::string(day, n) + std::string(number.size() < 6 ? 6 - number.size() : 0, '0') +
           number;
}

} // namespace

State::DataDir::DataDir(const std::string& requested) {
    if (!requested.empty()) {
        std::filesystem::create_directories(requested);
        path = requested;
        return;
    }
    auto pattern = (std::filesystem::temp_directory_path() / "valdoria-sim-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        throw std::filesystem::filesystem_error("cannot create a temporary folder", pattern,
                                                std::error_code(errno, std::generic_category()));
    }
    path = pattern;
    owned = true;
}

State::DataDir::~DataDir() {
    if (owned) {
        // Best effort: a folder that cannot be removed stays in the temp area.
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
}

State::State(const SimulatorOptions& options)
    : options_(options), dir_(options.dataDir), store_((dir_.path / "valdoria.sqlite").string()),
      random_(options.randomSeed) {
    std::filesystem::create_directories(uploadsDir());
    SeedData seed = options.seedFile.empty() ? defaultSeed() : readSeedFile(options.seedFile);
    years_ = !options.years.empty() ? options.years
             : !seed.years.empty()  ? seed.years
                                    : defaultYears(now());
    version_ = !options.version.empty() ? options.version
               : !seed.version.empty()  ? seed.version
                                        : "1.16.01";
    checkHeaderFields(years_, version_);
    for (const auto& company : seed.companies) {
        store_.upsertCompany(company);
    }
    for (const auto& t : seed.transmissions) {
        store_.addTransmission(t);
    }
}

std::chrono::system_clock::time_point State::now() const {
    return options_.clock ? options_.clock() : std::chrono::system_clock::now();
}

std::string State::newKey() {
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::uniform_int_distribution<std::size_t> pick(0, sizeof alphabet - 2);
    for (;;) {
        std::string key;
        for (int i = 0; i < 8; ++i) {
            key += alphabet[pick(random_)];
        }
        if (!store_.companyByKey(key)) {
            return key;
        }
    }
}

namespace {

// An upload whose file name holds "recusar" (any letter case) is refused
// after processing: the seeded way to see that outcome.
bool refusedAfterProcessing(const std::string& fileName) {
    std::string lower;
    for (char c : fileName)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower.find("recusar") != std::string::npos;
}

} // namespace

void State::processDue() {
    auto current = now();
    auto nowSeconds =
        std::chrono::duration_cast<std::chrono::seconds>(current.time_since_epoch()).count();
    for (auto t : store_.transmissions()) {
        if (t.status != "1" || t.uploadId == 0 ||
            t.receivedAt + options_.processAfterSeconds > nowSeconds) {
            continue;
        }
        auto upload = store_.upload(t.uploadId);
        t.referencia = t.gias.empty() ? monthOf(t.receivedAt) : referenceLabel(t.gias);
        t.protocolo = protocolFor(current, t.id);
        // A whole string, not a literal copied in place: there gcc 12's optimiser
        // sees an overlapping copy that is not there.
        t.status = refusedAfterProcessing(upload ? upload->fileName : std::string())
                       ? kRefusedStatus
                       : std::string("3");
        t.data = brDateTime(current);
        t.adicionado = valueAddedFrom(upload ? upload->sha256 : std::string());
        store_.updateTransmission(t);
    }
}

void State::appendRaw(const std::string& bytes) {
    std::lock_guard<std::mutex> guard(rawMutex_);
    raw_.push_back(bytes);
    std::ofstream log(rawLogPath(), std::ios::binary | std::ios::app);
    log << "=== request " << raw_.size() << ", " << bytes.size() << " bytes ===\n" << bytes << "\n";
}

std::vector<std::string> State::rawRequests() const {
    std::lock_guard<std::mutex> guard(rawMutex_);
    return raw_;
}

} // namespace valdoria
