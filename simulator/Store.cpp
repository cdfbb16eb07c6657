// SQLite statements of the simulator's store, with a tiny RAII statement
// wrapper so that every path finalises what it prepared.
#include "Store.h"

#include <sqlite3.h>

namespace valdoria {

namespace {

class Statement {
public:
    Statement(sqlite3* db, const char* sql) : db_(db) {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) {
            throw StoreError(std::string("prepare failed: ") + sqlite3_errmsg(db));
        }
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int i, const std::string& v) {
        check(sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT));
        return *this;
    }
    Statement& bind(int i, std::int64_t v) {
        check(sqlite3_bind_int64(stmt_, i, v));
        return *this;
    }
    // True while a row is available.
    bool step() {
        int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW) {
            return true;
        }
        if (rc != SQLITE_DONE) {
            throw StoreError(std::string("step failed: ") + sqlite3_errmsg(db_));
        }
        return false;
    }
    std::string text(int col) const {
        auto p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col));
        return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, col)))
                 : std::string();
    }
    std::int64_t integer(int col) const { return sqlite3_column_int64(stmt_, col); }

private:
    void check(int rc) const {
        if (rc != SQLITE_OK) {
            throw StoreError(std::string("bind failed: ") + sqlite3_errmsg(db_));
        }
    }
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

const char* const kSchema = R"sql(
CREATE TABLE IF NOT EXISTS companies (
  ie TEXT PRIMARY KEY, cnpj TEXT NOT NULL, razao_social TEXT NOT NULL,
  simples INTEGER NOT NULL, chave TEXT NOT NULL DEFAULT '',
  blocked INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS accountant (name TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS uploads (
  id INTEGER PRIMARY KEY, kind TEXT, received_at INTEGER, ie TEXT, contador TEXT,
  chave TEXT, gias TEXT, field_name TEXT, file_name TEXT, stored_path TEXT,
  size INTEGER, sha256 TEXT, verdict TEXT);
CREATE TABLE IF NOT EXISTS transmissions (
  id INTEGER PRIMARY KEY, upload_id INTEGER, ie TEXT, referencia TEXT, data TEXT,
  protocolo TEXT, status TEXT, adicionado TEXT, gias TEXT, received_at INTEGER,
  contador TEXT);
)sql";

const char* const kCompanyColumns =
    "SELECT ie, cnpj, razao_social, simples, chave, blocked FROM companies ";

Company readCompany(const Statement& s) {
    return Company{s.text(0),         s.text(1), s.text(2),
                   s.integer(3) != 0, s.text(4), s.integer(5) != 0};
}

const char* const kUploadSelect =
    "SELECT id, kind, received_at, ie, contador, chave, gias, field_name, file_name, "
    "stored_path, size, sha256, verdict FROM uploads ";

UploadRecord readUpload(const Statement& s) {
    UploadRecord u;
    u.id = s.integer(0);
    u.kind = s.text(1);
    u.receivedAt = s.integer(2);
    u.ie = s.text(3);
    u.contador = s.text(4);
    u.chave = s.text(5);
    u.gias = s.text(6);
    u.fieldName = s.text(7);
    u.fileName = s.text(8);
    u.storedPath = s.text(9);
    u.size = s.integer(10);
    u.sha256 = s.text(11);
    u.verdict = s.text(12);
    return u;
}

const char* const kTransmissionSelect =
    "SELECT id, upload_id, ie, referencia, data, protocolo, status, adicionado, gias, "
    "received_at, contador FROM transmissions ";

Transmission readTransmission(const Statement& s) {
    Transmission t;
    t.id = s.integer(0);
    t.uploadId = s.integer(1);
    t.ie = s.text(2);
    t.referencia = s.text(3);
    t.data = s.text(4);
    t.protocolo = s.text(5);
    t.status = s.text(6);
    t.adicionado = s.text(7);
    t.gias = s.text(8);
    t.receivedAt = s.integer(9);
    t.contador = s.text(10);
    return t;
}

} // namespace

Store::Store(const std::string& path) {
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
        std::string why = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        throw StoreError("cannot open " + path + ": " + why);
    }
    exec(kSchema);
    // A data folder kept from before companies could be blocked.
    sqlite3_exec(db_, "ALTER TABLE companies ADD COLUMN blocked INTEGER NOT NULL DEFAULT 0",
                 nullptr, nullptr, nullptr);
}

Store::~Store() {
    sqlite3_close(db_);
}

void Store::exec(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::string why = error ? error : "unknown error";
        sqlite3_free(error);
        throw StoreError(why);
    }
}

void Store::upsertCompany(const Company& c) {
    Statement s(db_, "INSERT INTO companies (ie, cnpj, razao_social, simples, chave, blocked) "
                     "VALUES (?1, ?2, ?3, ?4, ?5, ?6) ON CONFLICT(ie) DO UPDATE SET "
                     "cnpj = ?2, razao_social = ?3, simples = ?4, "
                     "chave = CASE WHEN ?5 = '' THEN chave ELSE ?5 END, blocked = ?6");
    s.bind(1, c.ie).bind(2, c.cnpj).bind(3, c.razaoSocial).bind(4, std::int64_t{c.simples});
    s.bind(5, c.chave).bind(6, std::int64_t{c.blocked}).step();
}

std::optional<Company> Store::companyByIe(const std::string& ie) const {
    Statement s(db_, (std::string(kCompanyColumns) + "WHERE ie = ?1").c_str());
    s.bind(1, ie);
    if (s.step()) {
        return readCompany(s);
    }
    return std::nullopt;
}

std::optional<Company> Store::companyByKey(const std::string& chave) const {
    if (chave.empty()) {
        return std::nullopt;
    }
    Statement s(db_, (std::string(kCompanyColumns) + "WHERE chave = ?1").c_str());
    s.bind(1, chave);
    if (s.step()) {
        return readCompany(s);
    }
    return std::nullopt;
}

void Store::setKey(const std::string& ie, const std::string& chave) {
    Statement s(db_, "UPDATE companies SET chave = ?2 WHERE ie = ?1");
    s.bind(1, ie).bind(2, chave).step();
}

std::vector<Company> Store::companies() const {
    Statement s(db_, (std::string(kCompanyColumns) + "ORDER BY ie").c_str());
    std::vector<Company> out;
    while (s.step()) {
        out.push_back(readCompany(s));
    }
    return out;
}

void Store::saveAccountant(const std::map<std::string, std::string>& fields) {
    exec("BEGIN");
    try {
        exec("DELETE FROM accountant");
        for (const auto& [name, value] : fields) {
            Statement s(db_, "INSERT INTO accountant (name, value) VALUES (?1, ?2)");
            s.bind(1, name).bind(2, value).step();
        }
        exec("COMMIT");
    } catch (...) {
        exec("ROLLBACK");
        throw;
    }
}

std::map<std::string, std::string> Store::accountant() const {
    Statement s(db_, "SELECT name, value FROM accountant");
    std::map<std::string, std::string> out;
    while (s.step()) {
        out[s.text(0)] = s.text(1);
    }
    return out;
}

std::int64_t Store::addUpload(const UploadRecord& u) {
    Statement s(db_, "INSERT INTO uploads (kind, received_at, ie, contador, chave, gias, "
                     "field_name, file_name, stored_path, size, sha256, verdict) VALUES "
                     "(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)");
    s.bind(1, u.kind).bind(2, u.receivedAt).bind(3, u.ie).bind(4, u.contador).bind(5, u.chave);
    s.bind(6, u.gias).bind(7, u.fieldName).bind(8, u.fileName).bind(9, u.storedPath);
    s.bind(10, u.size).bind(11, u.sha256).bind(12, u.verdict).step();
    return sqlite3_last_insert_rowid(db_);
}

void Store::setUploadFile(std::int64_t id, const std::string& storedPath) {
    Statement s(db_, "UPDATE uploads SET stored_path = ?2 WHERE id = ?1");
    s.bind(1, id).bind(2, storedPath).step();
}

std::vector<UploadRecord> Store::uploads() const {
    Statement s(db_, (std::string(kUploadSelect) + "ORDER BY id").c_str());
    std::vector<UploadRecord> out;
    while (s.step()) {
        out.push_back(readUpload(s));
    }
    return out;
}

std::optional<UploadRecord> Store::upload(std::int64_t id) const {
    Statement s(db_, (std::string(kUploadSelect) + "WHERE id = ?1").c_str());
    s.bind(1, id);
    if (s.step()) {
        return readUpload(s);
    }
    return std::nullopt;
}

std::int64_t Store::addTransmission(const Transmission& t) {
    if (!t.protocolo.empty() && transmissionByProtocol(t.protocolo)) {
        return 0;
    }
    Statement s(db_, "INSERT INTO transmissions (upload_id, ie, referencia, data, protocolo, "
                     "status, adicionado, gias, received_at, contador) VALUES "
                     "(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
    s.bind(1, t.uploadId).bind(2, t.ie).bind(3, t.referencia).bind(4, t.data);
    s.bind(5, t.protocolo).bind(6, t.status).bind(7, t.adicionado).bind(8, t.gias);
    s.bind(9, t.receivedAt).bind(10, t.contador).step();
    return sqlite3_last_insert_rowid(db_);
}

void Store::updateTransmission(const Transmission& t) {
    Statement s(db_, "UPDATE transmissions SET referencia = ?2, data = ?3, protocolo = ?4, "
                     "status = ?5, adicionado = ?6 WHERE id = ?1");
    s.bind(1, t.id).bind(2, t.referencia).bind(3, t.data).bind(4, t.protocolo);
    s.bind(5, t.status).bind(6, t.adicionado).step();
}

std::vector<Transmission> Store::transmissions() const {
    Statement s(db_, (std::string(kTransmissionSelect) + "ORDER BY id").c_str());
    std::vector<Transmission> out;
    while (s.step()) {
        out.push_back(readTransmission(s));
    }
    return out;
}

std::vector<Transmission> Store::transmissionsOf(const std::string& ie) const {
    Statement s(db_, (std::string(kTransmissionSelect) + "WHERE ie = ?1 ORDER BY id").c_str());
    s.bind(1, ie);
    std::vector<Transmission> out;
    while (s.step()) {
        out.push_back(readTransmission(s));
    }
    return out;
}

std::optional<Transmission> Store::transmissionByProtocol(const std::string& protocolo) const {
    if (protocolo.empty()) {
        return std::nullopt;
    }
    Statement s(db_, (std::string(kTransmissionSelect) + "WHERE protocolo = ?1").c_str());
    s.bind(1, protocolo);
    if (s.step()) {
        return readTransmission(s);
    }
    return std::nullopt;
}

} // namespace valdoria
