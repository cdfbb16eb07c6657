// Fuzz target for the SOAP result reader: any answer text, however malformed,
// gives a result or the empty text without crashing.
#include "net/SoapEnvelope.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString answer =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString result = Soap::GetResult(answer, QStringLiteral("return"));
    static_cast<void>(result);
    return 0;
}
