// The simulator's state in SQLite: companies and their access keys, the
// registered accountant, uploads and transmissions. Every statement binds
// its values; nothing is built by concatenation. Not thread-safe: the
// Simulator serialises calls under its own lock.
#pragma once

#include "Records.h"

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

struct sqlite3;

namespace valdoria {

class StoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Store {
public:
    // Opens (creating when needed) the database at `path`; ":memory:" gives
    // a private in-memory one. Throws StoreError.
    explicit Store(const std::string& path);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // Inserts or updates a company by IE. An empty `chave` keeps the key
    // already issued.
    void upsertCompany(const Company& company);
    std::optional<Company> companyByIe(const std::string& ie) const;
    std::optional<Company> companyByKey(const std::string& chave) const;
    void setKey(const std::string& ie, const std::string& chave);
    std::vector<Company> companies() const;

    // Replaces the one accountant row with these parameter/value pairs.
    void saveAccountant(const std::map<std::string, std::string>& fields);
    // The accountant's fields; empty when none has registered.
    std::map<std::string, std::string> accountant() const;

    // Returns the new upload's id.
    std::int64_t addUpload(const UploadRecord& upload);
    void setUploadFile(std::int64_t id, const std::string& storedPath);
    std::vector<UploadRecord> uploads() const;
    std::optional<UploadRecord> upload(std::int64_t id) const;

    // Returns the new transmission's id. A seeded row whose protocol exists
    // already is skipped (returns 0).
    std::int64_t addTransmission(const Transmission& t);
    void updateTransmission(const Transmission& t);
    std::vector<Transmission> transmissions() const;                        // all, by id
    std::vector<Transmission> transmissionsOf(const std::string& ie) const; // one company, by id
    std::optional<Transmission> transmissionByProtocol(const std::string& protocolo) const;

private:
    void exec(const char* sql);
    sqlite3* db_ = nullptr;
};

} // namespace valdoria
