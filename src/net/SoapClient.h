// The seam through which every window asks the municipal server a question:
// one SOAP call, answered with the whole response body. The program uses
// SoapTransport; window tests use a fake or the simulator.
#pragma once

#include "net/SoapEnvelope.h"

#include <QLatin1String>
#include <QList>
#include <QString>

namespace Soap {

// Service paths on the settings' host and port. "Transferencia.ver2",
// "Transferencia.ver" and "Transferencia.ecnpj" go to ServicePath;
// "Transferencia.contador" goes to AccountantServicePath.
inline constexpr QLatin1String ServicePath{"/orn/server/index.php?wsdl"};
inline constexpr QLatin1String AccountantServicePath{"/orn/server/index_dapi.php?wsdl"};

} // namespace Soap

class SoapClient {
public:
    virtual ~SoapClient() = default;

    // Sends operation with params (in order) to path on the server and returns
    // the whole response body, decoded by the charset it declares (UTF-8 when
    // none), whatever the HTTP status; the caller reads its value with
    // Soap::GetResult(body, "return").
    // Throws NetworkError (see net/NetworkError.h) when no usable answer could
    // be had: empty or invalid host or port, name not found, refused,
    // unreachable, timed out, answer too large, cancelled by the user. The
    // caller turns that into its own message.
    virtual QString call(const QString& path, const QString& operation,
                         const QList<Soap::SoapParam>& params) = 0;
};
