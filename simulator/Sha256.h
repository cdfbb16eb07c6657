// SHA-256 of byte strings, as lower-case hexadecimal, through OpenSSL's EVP.
#pragma once

#include <string>
#include <string_view>

namespace valdoria {

// 64 lower-case hex digits. Throws std::runtime_error if OpenSSL fails.
std::string sha256Hex(std::string_view bytes);

} // namespace valdoria
