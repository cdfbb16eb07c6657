// The one record format of the helper children's output, and its checked
// reading. The children run code from outside (a token driver, the Access
// library on someone's file), so the client trusts none of what they write.
//
// A stream is a sequence of records: one tag byte, a 32-bit big-endian
// payload length, then the payload. The first record is 'V' with the
// program's format name; the stream ends with 'E' (complete) or 'F'
// (failed), nothing after it. What the other tags mean is each program's
// own (access/MdbFrames.h, certificates/CertificateFrames.h).
// Plain C++ (no Qt): the children compile it in and do not load Qt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace ChildFrames {

inline constexpr std::size_t kHeaderSize = 5; // tag + 32-bit length
// The longest payload written or read: far above a certificate (a few KiB)
// or an Access cell (libmdb's bind size), far below the 4 GiB a 32-bit
// length can say.
inline constexpr std::size_t kMaxPayload = std::size_t(1) << 20;

// Appends one record to out. A payload over kMaxPayload throws
// std::length_error and appends nothing: a record the client would refuse
// (or, past 4 GiB, a length that wraps and misframes every record after it)
// is never written, and a cut payload would be a wrong value.
void append(std::string& out, char tag, std::string_view payload);

// Big-endian numbers as payloads carry them.
std::string u32(std::uint32_t value);
std::string u64(std::uint64_t value);
// Reads a big-endian number at the start of payload; false when too short.
bool readU32(std::string_view payload, std::uint32_t& value);
bool readU64(std::string_view payload, std::uint64_t& value);

// Reads a stream piece by piece as it arrives, holding at most one record
// not yet whole: a record that claims more than the bound, or a tag not in
// the program's set, is refused from its header, before its payload is
// waited for. Never throws on any input; what the handler throws passes
// through (the reader is then of no further use).
class Reader {
public:
    enum class State {
        Open,      // more is to come
        Ended,     // 'E' or 'F' was read
        Malformed, // error() says what was wrong
    };
    // Called with each record after the version; the payload lives during
    // the call only. Returns nullptr to take the record, or why it is
    // refused, which makes the stream Malformed.
    using RecordHandler = std::function<const char*(char tag, std::string_view payload)>;

    // version: the payload the first record must carry; tags: every tag the
    // program writes, 'V', 'E' and 'F' included.
    Reader(std::string_view version, std::string_view tags, std::size_t maxPayload = kMaxPayload);

    // Reads the next bytes. Bytes after the end make the stream Malformed.
    State feed(std::string_view bytes, const RecordHandler& onRecord);
    // The output ended: a stream still open becomes Malformed.
    State finish();

    State state() const { return m_state; }
    const std::string& error() const { return m_error; }

private:
    State malformed(const char* why);
    State record(char tag, std::string_view payload, const RecordHandler& onRecord);

    std::string m_version;
    std::string m_tags;
    std::size_t m_maxPayload;
    State m_state = State::Open;
    bool m_versionSeen = false;
    std::string m_pending; // the start of a record not yet whole
    std::string m_error;
};

} // namespace ChildFrames
