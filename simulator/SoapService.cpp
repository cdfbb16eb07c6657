// The SOAP operations: transmission list and server header (ver2), receipt
// of one transmission (ver), access key by e-CNPJ (ecnpj) and accountant
// registration (contador).
#include "Answers.h"
#include "Seed.h"
#include "Services.h"
#include "XmlReader.h"

#include <algorithm>
#include <array>

namespace valdoria {

namespace {

const char* const kSoapContentType = "application/soap+xml; charset=utf-8";

HttpReply fault(int status, const std::string& code, const std::string& reason) {
    return {status, kSoapContentType, soapFault(code, reason)};
}

HttpReply answer(const std::string& operation, const std::string& returnText) {
    return {200, kSoapContentType, soapResponse(operation, returnText)};
}

std::string param(const std::map<std::string, std::string>& params, const char* name) {
    auto it = params.find(name);
    return it == params.end() ? std::string() : it->second;
}

std::string ver2(State& state, const std::map<std::string, std::string>& p) {
    auto ie = digitsOf(param(p, "strNome"));
    auto chave = param(p, "Chave");
    return state.locked([&](Store& store) -> std::string {
        auto company = store.companyByIe(ie);
        if (!company || company->chave.empty() || company->chave != chave) {
            return "CHAVE_INVALIDA";
        }
        if (company->blocked) {
            return "CHAVE_INATIVA";
        }
        auto rows = store.transmissionsOf(ie);
        std::reverse(rows.begin(), rows.end()); // newest first
        return listXml(isoDateTime(state.now()), state.years(), state.version(), rows);
    });
}

std::string ver(State& state, const std::map<std::string, std::string>& p) {
    auto protocolo = param(p, "strNome");
    auto chave = param(p, "Chave");
    return state.locked([&](Store& store) -> std::string {
        auto t = store.transmissionByProtocol(protocolo);
        if (!t) {
            return "PROTOCOLO_INEXISTENTE";
        }
        auto company = store.companyByIe(t->ie);
        if (!company || company->chave.empty() || company->chave != chave) {
            return "CHAVE_INVALIDA";
        }
        if (t->status != "3") {
            return "PROTOCOLO_EM_PROCESSAMENTO";
        }
        auto upload = t->uploadId ? store.upload(t->uploadId) : std::nullopt;
        return receiptXml(*t, *company, upload ? &*upload : nullptr, store.accountant());
    });
}

std::string ecnpj(State& state, const std::map<std::string, std::string>& p) {
    if (param(p, "key") != kEcnpjRequestKey) {
        return "NAO_AUTORIZADO";
    }
    auto ie = digitsOf(param(p, "ie"));
    auto cnpj = digitsOf(param(p, "cnpj"));
    return state.locked([&](Store& store) -> std::string {
        auto company = store.companyByIe(ie);
        if (ie.empty() || !company || company->cnpj != cnpj) {
            return "NAO_AUTORIZADO";
        }
        if (company->chave.empty()) {
            company->chave = state.newKey();
            store.setKey(company->ie, company->chave);
        }
        return ecnpjRecord(*company, isoDateTime(state.now()));
    });
}

std::string contador(State& state, const std::map<std::string, std::string>& p) {
    static const std::array<const char*, 12> names = {
        "thisCont_cpf_cnpj",     "thisCont_num_crc",      "thisCont_razao_nome",
        "thisCont_nom_endereco", "thisCont_num_endereco", "thisCont_complemento",
        "thisCont_nom_bairro",   "thisCont_nom_cidade",   "thisCont_nom_estado",
        "thisCont_num_telefone", "thisCont_num_cep",      "thisCont_email"};
    std::map<std::string, std::string> fields;
    for (const char* name : names) {
        fields[name] = param(p, name);
    }
    state.locked([&](Store& store) {
        store.saveAccountant(fields);
        return 0;
    });
    return "CONTADOR_CADASTRADO";
}

std::string unquoted(std::string s) {
    auto first = s.find_first_not_of(" \t\"");
    auto last = s.find_last_not_of(" \t\"");
    return first == std::string::npos ? std::string() : s.substr(first, last - first + 1);
}

} // namespace

HttpReply handleSoap(State& state, SoapEndpoint endpoint, const std::string& soapAction,
                     const std::string& body) {
    try {
        std::unique_ptr<XmlElement> root;
        try {
            root = parseXml(body);
        } catch (const XmlError& e) {
            return fault(400, "soap:Sender", std::string("Envelope inválido: ") + e.what());
        }
        const XmlElement* soapBody =
            root->localName() == "Envelope" ? root->child("Body") : nullptr;
        const XmlElement* call = soapBody ? soapBody->firstChild() : nullptr;
        if (!call) {
            return fault(400, "soap:Sender", "Envelope sem operação");
        }
        std::string operation = unquoted(soapAction);
        if (operation.empty()) {
            operation = std::string(call->localName());
        }
        std::map<std::string, std::string> params;
        for (const auto& c : call->children) {
            params.emplace(std::string(c->localName()), c->text);
        }

        if (endpoint == SoapEndpoint::Main) {
            if (operation == "Transferencia.ver2") {
                return answer(operation, ver2(state, params));
            }
            if (operation == "Transferencia.ver") {
                return answer(operation, ver(state, params));
            }
            if (operation == "Transferencia.ecnpj") {
                return answer(operation, ecnpj(state, params));
            }
        } else if (operation == "Transferencia.contador") {
            return answer(operation, contador(state, params));
        }
        return fault(400, "soap:Sender", "Operação desconhecida: " + operation);
    } catch (const std::exception& e) {
        return fault(500, "soap:Receiver", std::string("Falha interna: ") + e.what());
    }
}

} // namespace valdoria
