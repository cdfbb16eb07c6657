// Fuzz target for the Base64 decoder: any text either decodes to exactly
// three bytes per group less the padding, or raises the length error.
#include "base/RuntimeError.h"
#include "net/Enc64.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        const QByteArray bytes = Enc64::MyDecode(text);
        QString stripped = text;
        stripped.remove(QLatin1Char('\r'));
        stripped.remove(QLatin1Char('\n'));
        const qsizetype groups = stripped.size() / 4;
        if (bytes.size() > groups * 3 || bytes.size() < groups * 3 - 2)
            std::abort();
    } catch (const RuntimeError&) {
        // Bad length: the documented outcome.
    }
    return 0;
}
