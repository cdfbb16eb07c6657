// Fuzz target for the SOAP result reader: any answer text, however malformed,
// gives a result or the empty text without crashing. Each input is read once
// as it is and once below enough levels of nesting that any element it opens
// reaches the depth limit, so the depth refusal sees every input too.
#include "net/SafeXml.h"
#include "net/SoapEnvelope.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString answer =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString result = Soap::GetResult(answer, QStringLiteral("return"));
    static_cast<void>(result);
    static const QString kPrefix = QStringLiteral("<a>").repeated(SafeXml::kMaxDepth - 1);
    static const QString kSuffix = QStringLiteral("</a>").repeated(SafeXml::kMaxDepth - 1);
    static_cast<void>(Soap::GetResult(kPrefix + answer + kSuffix, QStringLiteral("return")));
    return 0;
}
