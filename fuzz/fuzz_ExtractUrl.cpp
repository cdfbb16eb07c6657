// Fuzz target for the URL splitter: never fails, and the parts it returns are
// pieces of the URL it was given.
#include "net/url_helper.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString url =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const UrlParts p = url_helper::ExtractUrl(url);
    if (p.Port < 0 || !url.contains(p.Host) || !url.contains(p.Query) ||
        (p.URI != QLatin1String("/") && !url.contains(p.URI)))
        std::abort();
    return 0;
}
