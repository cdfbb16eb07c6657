// Fuzz target for the access-key answer reader: any answer text gives an
// answer or raises RuntimeError, never a crash or an out-of-range read.
#include "base/RuntimeError.h"
#include "registry/AccessKeyRequest.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString body =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        const AccessKeyAnswer answer = AccessKey::readAnswer(body);
        static_cast<void>(answer);
    } catch (const RuntimeError&) {
    }
    return 0;
}
