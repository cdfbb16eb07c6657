// The helper children's record reader on arbitrary bytes: it never crashes
// nor holds more than one record, reads the same whole or byte by byte, and
// what the writer writes reads back as written.
#include "childprocess/ChildFrames.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view kVersion = "v/1";
constexpr std::string_view kTags = "VABFE";
// Small, so that a claimed length over it is common in the input.
constexpr std::size_t kBound = 64;

struct Read {
    ChildFrames::Reader::State state;
    std::vector<std::pair<char, std::string>> records;
};

Read readIn(std::string_view input, std::size_t step) {
    ChildFrames::Reader reader(kVersion, kTags, kBound);
    Read read{ChildFrames::Reader::State::Open, {}};
    const auto onRecord = [&read](char tag, std::string_view payload) -> const char* {
        if (payload.size() > kBound)
            std::abort();
        read.records.emplace_back(tag, std::string(payload));
        return tag == 'B' && payload == "refuse" ? "refused" : nullptr;
    };
    for (std::size_t pos = 0; pos < input.size(); pos += step)
        reader.feed(input.substr(pos, step), onRecord);
    read.state = reader.finish();
    return read;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const Read whole = readIn(input, input.size() + 1);
    const Read bytewise = readIn(input, 1);
    if (whole.state != bytewise.state || whole.records != bytewise.records)
        std::abort();
    // Written records read back as they were.
    if (whole.state == ChildFrames::Reader::State::Ended) {
        std::string out;
        ChildFrames::append(out, 'V', kVersion);
        for (const auto& [tag, payload] : whole.records)
            ChildFrames::append(out, tag, payload);
        const Read again = readIn(out, out.size() + 1);
        if (again.state != ChildFrames::Reader::State::Ended || again.records != whole.records)
            std::abort();
    }
    return 0;
}
