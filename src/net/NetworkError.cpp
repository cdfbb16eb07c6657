// Network failure as a run-time error with the transport as its source.
#include "net/NetworkError.h"

#include <utility>

NetworkError::NetworkError(qint32 number, QString description)
    : RuntimeError(number, QStringLiteral("SoapTransport"), std::move(description)) {}
