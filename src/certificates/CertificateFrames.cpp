// The records of the certificate reader child (see CertificateFrames.h).
#include "certificates/CertificateFrames.h"

#include <string_view>

namespace CertificateFrames {

namespace {

constexpr std::string_view kTags = "VMTCWFE";

std::uint64_t readBigEndian(std::string_view bytes, std::size_t count) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < count; ++i)
        value = (value << 8) | static_cast<unsigned char>(bytes[i]);
    return value;
}

std::string bigEndian(std::uint64_t value, std::size_t count) {
    std::string out(count, '\0');
    for (std::size_t i = count; i-- > 0; value >>= 8)
        out[i] = static_cast<char>(value & 0xFF);
    return out;
}

Parsed malformed(std::string why) {
    Parsed p;
    p.error = std::move(why);
    return p;
}

} // namespace

void append(std::string& out, char tag, std::string_view payload) {
    out += tag;
    out += u32(static_cast<std::uint32_t>(payload.size()));
    out += payload;
}

std::string u32(std::uint32_t value) {
    return bigEndian(value, 4);
}

std::string u64(std::uint64_t value) {
    return bigEndian(value, 8);
}

bool readU32(std::string_view payload, std::uint32_t& value) {
    if (payload.size() < 4)
        return false;
    value = static_cast<std::uint32_t>(readBigEndian(payload, 4));
    return true;
}

bool readU64(std::string_view payload, std::uint64_t& value) {
    if (payload.size() < 8)
        return false;
    value = readBigEndian(payload, 8);
    return true;
}

Parsed parse(std::string_view output) {
    Parsed p;
    bool first = true;
    while (!output.empty()) {
        if (output.size() < 5)
            return malformed("truncated record header");
        const char tag = output[0];
        const std::uint64_t length = readBigEndian(output.substr(1), 4);
        if (kTags.find(tag) == std::string_view::npos)
            return malformed("unknown record");
        if (length > kMaxRecord)
            return malformed("record too long");
        if (output.size() - 5 < length)
            return malformed("truncated record");
        const std::string_view payload = output.substr(5, static_cast<std::size_t>(length));
        output.remove_prefix(5 + static_cast<std::size_t>(length));
        if (first) {
            if (tag != 'V' || payload != kVersion)
                return malformed("wrong version");
            first = false;
            continue;
        }
        if (tag == 'V')
            return malformed("version twice");
        p.records.push_back({tag, std::string(payload)});
        if (tag == 'E' || tag == 'F') {
            if (!output.empty())
                return malformed("bytes after the end");
            p.ok = true;
            return p;
        }
    }
    return malformed(first ? "no output" : "no end record");
}

} // namespace CertificateFrames
