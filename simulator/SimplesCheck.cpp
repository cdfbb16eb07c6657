// Implementation of the Simples Nacional file checks.
#include "SimplesCheck.h"

namespace valdoria {

std::string simplesVerdict(std::string_view file) {
    if (file.substr(0, 5) != "%PDF-") {
        return "ARQUIVO INVALIDO - EXTRATO";
    }
    if (file.find("PGDAS") == std::string_view::npos) {
        return "ARQUIVO INVALIDO - RECIBO";
    }
    // A PDF saved again after generation gains an incremental update with a
    // second "%%EOF", or trailing bytes: either counts as modified.
    std::string_view body = file;
    if (body.ends_with("\r\n")) {
        body.remove_suffix(2);
    } else if (body.ends_with("\n") || body.ends_with("\r")) {
        body.remove_suffix(1);
    }
    auto first = file.find("%%EOF");
    if (!body.ends_with("%%EOF") || first != body.size() - 5) {
        return "ARQUIVO INVALIDO - MODIFICADO";
    }
    return {};
}

} // namespace valdoria
