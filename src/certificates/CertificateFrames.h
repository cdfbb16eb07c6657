// What the certificate reader child writes on its standard output, and the
// client's checked reading of it. The child runs foreign code (token drivers,
// the browsers' database library), so the client trusts none of its output.
//
// The output is a sequence of records: one tag byte, a 32-bit big-endian
// payload length, then the payload. The first record is 'V' (kVersion); the
// stream ends with 'E' (complete) or 'F' (failed), nothing after it.
//   'M'  a registered module: its name, a zero byte, its file
//   'T'  a token: 64-bit slot id, one flag byte (kLoginRequired), its label
//   'C'  a certificate (DER); after a 'T', one of that token's
//   'W'  a token that could not be opened: 32-bit code, its label, a zero
//        byte, the error's text
//   'F'  32-bit code (a PKCS#11 return value or an NSS error number), then
//        text: the stage that failed ("load", "init", "session", "login",
//        "nss") and, after a zero byte, a detail
//   'E'  the end
// Plain C++ (no Qt), because the child does not load Qt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace CertificateFrames {

inline constexpr std::string_view kVersion = "dadav-leitor-certificados/1";
inline constexpr unsigned char kLoginRequired = 1;
// A record longer than this is refused (a certificate is a few KiB).
inline constexpr std::size_t kMaxRecord = 1 << 20;

struct Record {
    char tag = 0;
    std::string payload;
    bool operator==(const Record&) const = default;
};

void append(std::string& out, char tag, std::string_view payload);
std::string u32(std::uint32_t value);
std::string u64(std::uint64_t value);
// Reads a big-endian number at the start of payload; false when too short.
bool readU32(std::string_view payload, std::uint32_t& value);
bool readU64(std::string_view payload, std::uint64_t& value);

struct Parsed {
    bool ok = false;             // well-formed, from 'V' to 'E' or 'F'
    std::vector<Record> records; // without 'V'; the last is 'E' or 'F'
    std::string error;           // when not ok: what was wrong
};

// Checks a whole output. Never throws on any input.
Parsed parse(std::string_view output);

} // namespace CertificateFrames
