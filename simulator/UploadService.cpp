// The two upload scripts: declarations (ZIP backups with their reference
// keys) and Simples Nacional extracts (PDF, judged by SimplesCheck). The
// file is kept byte for byte in the data folder with its SHA-256, and an
// accepted upload becomes a pending transmission.
#include "Answers.h"
#include "Multipart.h"
#include "Seed.h"
#include "Services.h"
#include "Sha256.h"
#include "SimplesCheck.h"

#include <fstream>
#include <string>
#include <vector>

namespace valdoria {

namespace {

const char* const kHtml = "text/html; charset=utf-8";

std::string queryValue(const std::map<std::string, std::string>& query, const char* name) {
    auto it = query.find(name);
    return it == query.end() ? std::string() : it->second;
}

// Writes the file of an upload row and records where it lies.
void storeFile(State& state, Store& store, std::int64_t id, const std::string& bytes) {
    auto path = state.uploadsDir() / (std::to_string(id) + ".bin");
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
    store.setUploadFile(id, path.string());
}

} // namespace

HttpReply handleUpload(State& state, UploadKind kind,
                       const std::map<std::string, std::string>& query,
                       const std::string& contentType, const std::string& body) {
    try {
        MultipartPart file;
        try {
            auto parts = parseMultipart(body, multipartBoundary(contentType));
            if (parts.empty()) {
                throw MultipartError("no part");
            }
            file = parts.front();
            for (const auto& part : parts) {
                if (!part.fileName.empty()) {
                    file = part;
                    break;
                }
            }
        } catch (const MultipartError& e) {
            return {400, kHtml,
                    uploadReply(std::string("ERRO - ARQUIVO NAO RECEBIDO: ") + e.what())};
        }

        UploadRecord upload;
        upload.kind = kind == UploadKind::Simples ? "simples" : "declaracao";
        upload.contador = queryValue(query, "contador");
        upload.chave = queryValue(query, "chave");
        upload.gias = queryValue(query, "gias");
        upload.fieldName = file.name;
        upload.fileName = file.fileName;
        upload.size = static_cast<std::int64_t>(file.data.size());
        upload.sha256 = sha256Hex(file.data);

        return state.locked([&](Store& store) -> HttpReply {
            auto now = state.now();
            upload.receivedAt =
                std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count();

            std::optional<Company> company;
            if (kind == UploadKind::Simples) {
                company = store.companyByKey(upload.chave);
            } else {
                company = store.companyByIe(digitsOf(queryValue(query, "ie")));
                if (company && (company->chave.empty() || company->chave != upload.chave)) {
                    company.reset();
                }
            }
            upload.ie = company ? company->ie : digitsOf(queryValue(query, "ie"));

            int status = 200;
            std::string reply;
            if (!company) {
                status = 403;
                upload.verdict = "CHAVE_INVALIDA";
            } else if (company->blocked) {
                status = 403;
                upload.verdict = "CHAVE_INATIVA";
            } else if (kind == UploadKind::Simples) {
                upload.verdict = simplesVerdict(file.data);
            }
            if (upload.verdict.empty()) {
                try {
                    referenceLabel(upload.gias);
                } catch (const FieldError& e) {
                    status = 400;
                    upload.verdict = std::string("REFERENCIA INVALIDA: ") + e.what();
                }
            }
            bool accepted = upload.verdict.empty();
            if (accepted) {
                upload.verdict = "aceito";
            }

            auto id = store.addUpload(upload);
            storeFile(state, store, id, file.data);
            if (!accepted) {
                // Refusals of the request itself read "ERRO - ..." as the municipal
                // server's do; the Simples file markers (status 200) stay bare.
                return {status, kHtml,
                        uploadReply(status == 200 ? upload.verdict : "ERRO - " + upload.verdict)};
            }

            // The server lists one transmission per month of a declaration,
            // each with a protocol of its own; an extract is one.
            std::vector<std::string> months;
            for (std::size_t start = 0; !upload.gias.empty() && start <= upload.gias.size();) {
                const auto comma = upload.gias.find(',', start);
                months.push_back(upload.gias.substr(
                    start, comma == std::string::npos ? std::string::npos : comma - start));
                start = comma == std::string::npos ? upload.gias.size() + 1 : comma + 1;
            }
            if (months.empty())
                months.emplace_back();
            for (const std::string& month : months) {
                Transmission t;
                t.uploadId = id;
                t.ie = company->ie;
                t.referencia = "Verificando";
                t.data = brDateTime(now);
                // A whole string, not a literal copied in place: there gcc 12's
                // optimiser sees an overlapping copy that is not there.
                t.status = std::string("1");
                t.gias = month;
                t.receivedAt = upload.receivedAt;
                t.contador = upload.contador;
                store.addTransmission(t);
            }
            return {200, kHtml,
                    uploadReply("Arquivo " + file.fileName + " recebido (" +
                                std::to_string(upload.size) +
                                " bytes). Aguardando processamento.")};
        });
    } catch (const std::exception& e) {
        return {500, kHtml, uploadReply(std::string("ERRO INTERNO: ") + e.what())};
    }
}

} // namespace valdoria
