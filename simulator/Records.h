// Plain records of the simulator's state, shared by the store, the answer
// builders and the public API. Texts are UTF-8; times are seconds since the
// Unix epoch.
#pragma once

#include <cstdint>
#include <string>

namespace valdoria {

struct Company {
    std::string ie;          // state registration, digits only
    std::string cnpj;        // CNPJ digits only
    std::string razaoSocial; // company name
    bool simples = false;    // opts for the Simples Nacional regime
    std::string chave;       // access key issued so far; empty when none
    bool blocked = false;    // the server refuses its key: lists and uploads say CHAVE_INATIVA
};

struct UploadRecord {
    std::int64_t id = 0;
    std::string kind; // "declaracao" or "simples"
    std::int64_t receivedAt = 0;
    std::string ie;         // from the query (declarations) or the key's company
    std::string contador;   // accountant document from the query, as sent
    std::string chave;      // access key from the query
    std::string gias;       // reference list from the query, as sent
    std::string fieldName;  // form-data field name of the file part
    std::string fileName;   // file name the client gave
    std::string storedPath; // where the bytes lie in the data folder
    std::int64_t size = 0;  // bytes
    std::string sha256;     // hex digest of the bytes
    std::string verdict;    // "aceito", or the rejection text answered
};

// A transmission refused after processing: its status and the text the list
// gives with it.
inline const std::string kRefusedStatus = "2";
inline const std::string kRefusedText =
    "Declaração recusada no processamento: valor adicionado inconsistente";

struct Transmission {
    std::int64_t id = 0;
    std::int64_t uploadId = 0; // 0 for seeded rows
    std::string ie;
    std::string referencia; // "Verificando" until processed, then "03/2014, 04/2014"
    std::string data;       // reception or processing date, "dd/MM/yyyy HH:mm:ss"
    std::string protocolo;  // empty until processed
    std::string status;     // "1" pending, "3" processed (receipt available), kRefusedStatus
    std::string adicionado; // value added, "1.234,56"
    std::string gias;       // reference keys as sent, e.g. "3_2014,4_2014"
    std::int64_t receivedAt = 0;
    std::string contador; // accountant document of the upload
};

} // namespace valdoria
