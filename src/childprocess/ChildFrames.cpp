// The helper children's records (see ChildFrames.h).
#include "childprocess/ChildFrames.h"

#include <stdexcept>

namespace ChildFrames {

namespace {

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

} // namespace

void append(std::string& out, char tag, std::string_view payload) {
    if (payload.size() > kMaxPayload)
        throw std::length_error("record payload over its bound");
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

Reader::Reader(std::string_view version, std::string_view tags, std::size_t maxPayload)
    : m_version(version), m_tags(tags), m_maxPayload(maxPayload) {}

Reader::State Reader::malformed(const char* why) {
    m_state = State::Malformed;
    m_error = why;
    m_pending.clear();
    m_pending.shrink_to_fit();
    return m_state;
}

Reader::State Reader::feed(std::string_view bytes, const RecordHandler& onRecord) {
    if (bytes.empty() || m_state == State::Malformed)
        return m_state;
    if (m_state == State::Ended)
        return malformed("bytes after the end");
    // Whole records are read straight from `bytes`; only a record cut by the
    // end of a piece is kept, and the next pieces are appended to it.
    const bool continuing = !m_pending.empty();
    if (continuing)
        m_pending.append(bytes);
    const std::string_view input = continuing ? std::string_view(m_pending) : bytes;
    std::size_t pos = 0;
    while (pos < input.size()) {
        if (m_state != State::Open)
            return malformed("bytes after the end");
        const std::string_view rest = input.substr(pos);
        if (m_tags.find(rest[0]) == std::string::npos)
            return malformed("unknown record");
        if (rest.size() < kHeaderSize)
            break;
        const std::uint64_t length = readBigEndian(rest.substr(1), 4);
        if (length > m_maxPayload)
            return malformed("record too long");
        if (rest.size() - kHeaderSize < length)
            break;
        pos += kHeaderSize + static_cast<std::size_t>(length);
        if (record(rest[0], rest.substr(kHeaderSize, static_cast<std::size_t>(length)), onRecord) ==
            State::Malformed)
            return m_state;
    }
    if (continuing)
        m_pending.erase(0, pos);
    else
        m_pending.assign(input.substr(pos));
    return m_state;
}

Reader::State Reader::finish() {
    if (m_state != State::Open)
        return m_state;
    if (!m_pending.empty())
        return malformed(m_pending.size() < kHeaderSize ? "truncated record header"
                                                        : "truncated record");
    return malformed(m_versionSeen ? "no end record" : "no output");
}

Reader::State Reader::record(char tag, std::string_view payload, const RecordHandler& onRecord) {
    if (!m_versionSeen) {
        if (tag != 'V' || payload != m_version)
            return malformed("wrong version");
        m_versionSeen = true;
        return m_state;
    }
    if (tag == 'V')
        return malformed("version twice");
    if (const char* why = onRecord(tag, payload))
        return malformed(why);
    if (tag == 'E' || tag == 'F')
        m_state = State::Ended;
    return m_state;
}

} // namespace ChildFrames
