// The printable receipt page that the client opens in the browser. Every
// value shown, found or asked for, is HTML-escaped.
#include "Answers.h"
#include "Seed.h"
#include "Services.h"

namespace valdoria {

namespace {
const char* const kHtml = "text/html; charset=utf-8";
} // namespace

HttpReply handleReceiptPage(State& state, const std::string& ie, const std::string& key,
                            const std::string& ref) {
    auto blankless = [](std::string s) {
        std::erase(s, ' ');
        return s;
    };
    try {
        return state.locked([&](Store& store) -> HttpReply {
            auto company = store.companyByIe(digitsOf(ie));
            if (company && !company->chave.empty() && company->chave == key && !ref.empty()) {
                for (const auto& t : store.transmissionsOf(company->ie)) {
                    if (t.status == "3" && blankless(t.referencia) == blankless(ref)) {
                        auto upload = t.uploadId ? store.upload(t.uploadId) : std::nullopt;
                        return {200, kHtml, receiptPage(t, *company, upload ? &*upload : nullptr)};
                    }
                }
            }
            return {404, kHtml, receiptNotFoundPage(ie, key, ref)};
        });
    } catch (const std::exception& e) {
        return {500, kHtml, uploadReply(std::string("ERRO INTERNO: ") + e.what())};
    }
}

} // namespace valdoria
