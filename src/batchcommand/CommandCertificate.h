// The accountant's certificate as the command line names it: a certificate
// file (a PKCS#12 file's password read from standard input), or a
// certificate of a token or a browser's database named by its serial number
// or its holder's document (CPF or CNPJ), found through the program's
// certificate sources and their reader child (a token that shows its
// certificates only after login is opened with the PIN read the same way). Judged as the
// transmission windows judge it (SendingCertificate).
#pragma once

#include "certificates/Certificate.h"

#include <QString>

#include <functional>
#include <optional>

namespace CommandCertificate {

// Finds the certificate that `given` (the command line's value) names.
// `readSecret` gives the password of a PKCS#12 file, or the PIN of the one
// token that waits for login when no listed certificate matches; it is
// called at most once. nullopt with `why` (Portuguese) when it cannot be
// read or found, or the PIN is refused.
std::optional<Certificate> find(const QString& given, const std::function<QString()>& readSecret,
                                QString* why);

} // namespace CommandCertificate
