// What the certificate reader child writes on its standard output, and the
// client's checked reading of it. The child runs foreign code (token drivers,
// the browsers' database library), so the client trusts none of its output.
//
// The output is a stream of the helper children's records (ChildFrames: a tag,
// a 32-bit big-endian length, the payload). The first record is 'V'
// (kVersion); the stream ends with 'E' (complete) or 'F' (failed), nothing
// after it.
//   'M'  a registered module: its name, a zero byte, its file
//   'T'  a token: 64-bit slot id, one flag byte (kLoginRequired), its label
//   'C'  a certificate (DER); after a 'T', one of that token's
//   'S'  a certificate object left out: the 64-bit size it claims, over
//        ChildFrames::kMaxPayload; after a 'T', one of that token's
//   'W'  a token that could not be opened: 32-bit code, its label, a zero
//        byte, the error's text
//   'F'  32-bit code (a PKCS#11 return value or an NSS error number), then
//        text: the stage that failed ("load", "init", "session", "login",
//        "nss") and, after a zero byte, a detail
//   'E'  the end
// Plain C++ (no Qt), because the child does not load Qt.
#pragma once

#include "childprocess/ChildFrames.h"

#include <string>
#include <string_view>
#include <vector>

namespace CertificateFrames {

inline constexpr std::string_view kVersion = "dadav-leitor-certificados/2";
inline constexpr unsigned char kLoginRequired = 1;

using ChildFrames::append;
using ChildFrames::readU32;
using ChildFrames::readU64;
using ChildFrames::u32;
using ChildFrames::u64;

struct Record {
    char tag = 0;
    std::string payload;
    bool operator==(const Record&) const = default;
};

struct Parsed {
    bool ok = false;             // well-formed, from 'V' to 'E' or 'F'
    std::vector<Record> records; // without 'V'; the last is 'E' or 'F'
    std::string error;           // when not ok: what was wrong
};

// Checks a whole output. Never throws on any input.
Parsed parse(std::string_view output);

} // namespace CertificateFrames
