// Text builders of the simulator's answers. Positions the client reads by
// character are laid out here and nowhere else.
#include "Answers.h"

#include "XmlReader.h"

#include <cstdint>
#include <ctime>

namespace valdoria {

namespace {

std::string formatLocal(Clock::time_point t, const char* format) {
    std::time_t seconds = Clock::to_time_t(t);
    std::tm parts{};
    localtime_r(&seconds, &parts);
    char buffer[32];
    auto n = std::strftime(buffer, sizeof buffer, format, &parts);
    return std::string(buffer, n);
}

std::string padded(const std::string& s, std::size_t width) {
    return s.size() >= width ? s : s + std::string(width - s.size(), ' ');
}

std::string element(const char* name, const std::string& value) {
    return std::string("<") + name + ">" + escapeXml(value) + "</" + name + ">";
}

std::string formatCnpj(const std::string& d) {
    if (d.size() != 14) {
        return d;
    }
    return d.substr(0, 2) + "." + d.substr(2, 3) + "." + d.substr(5, 3) + "/" + d.substr(8, 4) +
           "-" + d.substr(12, 2);
}

const char* const kPageStyle =
    "<style>body{font-family:sans-serif;margin:2em}table{border-collapse:collapse}"
    "td,th{border:1px solid #999;padding:4px 8px;text-align:left}</style>";

std::string row(const char* label, const std::string& value) {
    return std::string("<tr><th>") + label + "</th><td>" + escapeXml(value) + "</td></tr>";
}

} // namespace

std::string isoDateTime(Clock::time_point t) {
    return formatLocal(t, "%Y-%m-%d %H:%M:%S");
}

std::string brDateTime(Clock::time_point t) {
    return formatLocal(t, "%d/%m/%Y %H:%M:%S");
}

void checkHeaderFields(const std::string& years, const std::string& version) {
    auto plain = [](const std::string& s) {
        for (unsigned char c : s) {
            if (c < 0x20 || c > 0x7E || c == '&' || c == '<' || c == '>' || c == '"' || c == '\'') {
                return false;
            }
        }
        return true;
    };
    if (years.size() > 9 || !plain(years)) {
        throw FieldError("working years must be at most 9 plain ASCII characters: " + years);
    }
    if (version.size() > 20 || !plain(version)) {
        throw FieldError("version must be at most 20 plain ASCII characters: " + version);
    }
}

std::string listXml(const std::string& serverDateTime, const std::string& years,
                    const std::string& version, const std::vector<Transmission>& rows) {
    checkHeaderFields(years, version);
    if (serverDateTime.size() != 19) {
        throw FieldError("server date-time must have 19 characters");
    }
    // "<listaTransferencias" is 1-20, ' servidor="' 21-31, value 32-50,
    // '" anos="' 51-58, value 59-67, '" versao="' 68-77, value 78-97.
    std::string xml = "<listaTransferencias servidor=\"" + serverDateTime + "\" anos=\"" +
                      padded(years, 9) + "\" versao=\"" + padded(version, 20) + "\">";
    for (const auto& t : rows) {
        xml += "<transferencia>" + element("referencia", t.referencia) + element("data", t.data) +
               element("protocolo", t.protocolo) + element("status", t.status) +
               element("adicionado", t.adicionado) +
               (t.status == kRefusedStatus ? element("mensagem", kRefusedText) : std::string()) +
               "</transferencia>";
    }
    xml += "</listaTransferencias>";
    return xml;
}

std::string ecnpjRecord(const Company& company, const std::string& serverDateTime) {
    return padded(company.ie, 20).substr(0, 20) + serverDateTime +
           " OPTANTE = " + (company.simples ? "S" : "N") + " CHAVE = " + company.chave +
           " CNPJ = " + company.cnpj;
}

std::string receiptXml(const Transmission& t, const Company& company, const UploadRecord* upload,
                       const std::map<std::string, std::string>& accountant) {
    bool simples = upload && upload->kind == "simples";
    std::string xml = "<recibo>";
    xml += "<entrega>";
    xml += element("DETALHE", simples ? "Extrato do Simples Nacional recebido e processado"
                                      : "Declaração recebida e processada");
    xml += element("protocolo", t.protocolo) + element("referencia", t.referencia) +
           element("processamento", t.data);
    if (upload) {
        xml += element("arquivo", upload->fileName) +
               element("tamanho", std::to_string(upload->size)) + element("sha256", upload->sha256);
    }
    xml += "</entrega>";

    xml += "<contribuinte>" + element("DETALHE", company.razaoSocial) + element("ie", company.ie) +
           element("cnpj", formatCnpj(company.cnpj)) + "</contribuinte>";

    std::string document = t.contador;
    if (document.empty()) {
        auto it = accountant.find("thisCont_cpf_cnpj");
        document = it == accountant.end() ? std::string() : it->second;
    }
    auto name = accountant.find("thisCont_razao_nome");
    xml += "<contador>" + element("DETALHE", document.empty() ? "Não informado" : document) +
           element("nome", name == accountant.end() ? std::string() : name->second) + "</contador>";

    xml += "<apuracao>" + element("DETALHE", "Valor adicionado") +
           element("adicionado", t.adicionado) + "</apuracao>";
    xml += "</recibo>";
    return xml;
}

std::string receiptPage(const Transmission& t, const Company& company, const UploadRecord* upload) {
    std::string html = "<!DOCTYPE html><html lang=\"pt-BR\"><head><meta charset=\"utf-8\">"
                       "<title>Protocolo de entrega</title>";
    html += kPageStyle;
    html += "</head><body><h1>Prefeitura Municipal de Valdoria</h1>"
            "<h2>Protocolo de entrega</h2><table>";
    html += row("Razão social", company.razaoSocial);
    html += row("Inscrição estadual", company.ie);
    html += row("CNPJ", formatCnpj(company.cnpj));
    html += row("Referência", t.referencia);
    html += row("Protocolo", t.protocolo);
    html += row("Data de processamento", t.data);
    html += row("Valor adicionado", t.adicionado);
    if (upload) {
        html += row("Arquivo", upload->fileName);
        html += row("SHA-256", upload->sha256);
    }
    html += "</table><p><button onclick=\"window.print()\">Imprimir</button></p></body></html>";
    return html;
}

std::string receiptNotFoundPage(const std::string& ie, const std::string& key,
                                const std::string& ref) {
    std::string html = "<!DOCTYPE html><html lang=\"pt-BR\"><head><meta charset=\"utf-8\">"
                       "<title>Protocolo não encontrado</title>";
    html += kPageStyle;
    html += "</head><body><h1>Prefeitura Municipal de Valdoria</h1>"
            "<h2>Protocolo não encontrado</h2><table>";
    html += row("IE", ie) + row("Chave", key) + row("Referência", ref);
    html += "</table></body></html>";
    return html;
}

std::string soapResponse(const std::string& operation, const std::string& returnText) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
           "<soap:Envelope xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:ns=\"urn:valdoria:transferencia\"><soap:Body><ns:" +
           operation + "Response><return>" + escapeXml(returnText) + "</return></ns:" + operation +
           "Response></soap:Body></soap:Envelope>";
}

std::string soapFault(const std::string& code, const std::string& reason) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
           "<soap:Envelope xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\">"
           "<soap:Body><soap:Fault><soap:Code><soap:Value>" +
           escapeXml(code) +
           "</soap:Value></soap:Code><soap:Reason><soap:Text xml:lang=\"pt-BR\">" +
           escapeXml(reason) +
           "</soap:Text></soap:Reason></soap:Fault></soap:Body></soap:Envelope>";
}

std::string uploadReply(const std::string& message) {
    return "<html><head><meta charset=\"utf-8\"><title>Valdoria</title></head><body><p>" +
           escapeXml(message) + "</p></body></html>";
}

std::string referenceLabel(const std::string& gias) {
    std::string label;
    std::size_t start = 0;
    while (start <= gias.size() && !gias.empty()) {
        auto comma = gias.find(',', start);
        auto item = gias.substr(start, comma == std::string::npos ? comma : comma - start);
        auto underscore = item.find('_');
        bool ok = underscore != std::string::npos && underscore >= 1 && underscore <= 2 &&
                  item.size() == underscore + 5;
        int month = 0;
        for (std::size_t i = 0; ok && i < item.size(); ++i) {
            if (i == underscore) {
                continue;
            }
            ok = item[i] >= '0' && item[i] <= '9';
            if (ok && i < underscore) {
                month = month * 10 + (item[i] - '0');
            }
        }
        if (!ok || month < 1 || month > 12) {
            throw FieldError("bad reference key: " + item);
        }
        if (!label.empty()) {
            label += ", ";
        }
        // Appended piece by piece: prepending a literal to a temporary string
        // makes gcc 12's optimiser see an overlapping copy that is not there.
        if (month < 10) {
            label += '0';
        }
        label += std::to_string(month);
        label += '/';
        label += item.substr(underscore + 1);
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    return label;
}

std::string valueAddedFrom(const std::string& sha256Hex) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < 12 && i < sha256Hex.size(); ++i) {
        char c = sha256Hex[i];
        v = v * 16 + static_cast<std::uint64_t>(c <= '9' ? c - '0' : c - 'a' + 10);
    }
    v %= 10000000000ULL; // up to 99.999.999,99
    std::string whole = std::to_string(v / 100);
    std::string grouped;
    for (std::size_t i = 0; i < whole.size(); ++i) {
        if (i > 0 && (whole.size() - i) % 3 == 0) {
            grouped += '.';
        }
        grouped += whole[i];
    }
    auto cents = v % 100;
    return grouped + "," + (cents < 10 ? "0" : "") + std::to_string(cents);
}

} // namespace valdoria
