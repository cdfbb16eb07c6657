// Fuzz target for the simulator's XML reader, which reads every SOAP envelope
// that reaches the server: any bytes either parse or raise XmlError, never
// anything else. On top of that, escaped text always reads back as itself, and
// no accepted document nests deeper than the limit.
#include "simulator/XmlReader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

constexpr int kMaxDepth = 64;

int depthOf(const valdoria::XmlElement& e) {
    int deepest = 0;
    for (const auto& c : e.children) {
        const int d = depthOf(*c);
        deepest = d > deepest ? d : deepest;
    }
    return deepest + 1;
}

// The text of <a> holding text escaped; aborts when it is not text itself.
void expectEscapedRoundTrip(std::string_view text) {
    const std::string escaped = valdoria::escapeXml(text);
    if (escaped.find_first_of("<>\"'") != std::string::npos)
        std::abort();
    try {
        if (valdoria::parseXml("<a>" + escaped + "</a>")->text != text)
            std::abort();
    } catch (const valdoria::XmlError&) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    expectEscapedRoundTrip(input);
    try {
        const auto root = valdoria::parseXml(input, kMaxDepth);
        if (!root || root->name.empty() || depthOf(*root) > kMaxDepth)
            std::abort();
        expectEscapedRoundTrip(root->text);
    } catch (const valdoria::XmlError&) {
        // Not well-formed, or a feature the reader refuses: the documented outcome.
    }
    return 0;
}
