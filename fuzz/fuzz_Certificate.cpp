// Fuzz target for the certificate reader: any bytes either parse as a
// certificate or raise RuntimeError; a parsed one survives the checks run on
// it (document match, validity, distribution points) without crashing.
#include "base/RuntimeError.h"
#include "certificates/Certificate.h"
#include "certificates/CertificateStore.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    static_cast<void>(CertificateStore::needsPassword(bytes));
    try {
        const Certificate c = parseCertificateDer(bytes);
        static_cast<void>(certificateMatches(c.der, QStringLiteral("11222333000181"), QString()));
        static_cast<void>(certificateValidAt(c, c.validTo));
        static_cast<void>(VerificarCDP(c));
    } catch (const RuntimeError&) {
    }
    return 0;
}
