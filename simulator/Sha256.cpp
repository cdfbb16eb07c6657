// OpenSSL EVP one-shot digest wrapped for the upload store.
#include "Sha256.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace valdoria {

std::string sha256Hex(std::string_view bytes) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), md, &length, EVP_sha256(), nullptr) != 1) {
        throw std::runtime_error("SHA-256 digest failed");
    }
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        hex += digits[md[i] >> 4];
        hex += digits[md[i] & 0x0F];
    }
    return hex;
}

} // namespace valdoria
