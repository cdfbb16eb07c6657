// The simulator's request handlers, free of HTTP plumbing: each takes what it
// needs of a request and returns the reply to send. Every handler catches its
// own failures and turns them into an error reply; none throws.
#pragma once

#include "State.h"

#include <map>
#include <string>

namespace valdoria {

struct HttpReply {
    int status = 200;
    std::string contentType;
    std::string body;
};

enum class SoapEndpoint {
    Main, // "/orn/server/index.php": ver2, ver, ecnpj
    Dapi, // "/orn/server/index_dapi.php": contador
};

// The fixed request key that "Transferencia.ecnpj" must carry.
inline constexpr const char* kEcnpjRequestKey = "!KTRVWXNBQ!";

// A SOAP 1.2 call. The operation is `soapAction` (quotes dropped) or, when
// that is empty, the local name of the element below soap:Body.
HttpReply handleSoap(State& state, SoapEndpoint endpoint, const std::string& soapAction,
                     const std::string& body);

enum class UploadKind { Declaracao, Simples };

// A multipart upload; `query` holds the decoded query parameters and
// `contentType` the request's original Content-Type.
HttpReply handleUpload(State& state, UploadKind kind,
                       const std::map<std::string, std::string>& query,
                       const std::string& contentType, const std::string& body);

// The printable receipt page of "/protocoloDown.php?IE=&key=&ref=".
HttpReply handleReceiptPage(State& state, const std::string& ie, const std::string& key,
                            const std::string& ref);

} // namespace valdoria
