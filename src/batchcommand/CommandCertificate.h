// The accountant's certificate as the command line names it: a certificate
// file (a PKCS#12 file's password read from standard input), or a
// certificate of a token or a browser's database named by its serial number
// or its holder's document (CPF or CNPJ), found through the program's
// certificate sources and their reader child. Judged as the transmission
// windows judge it (SendingCertificate).
#pragma once

#include "certificates/Certificate.h"

#include <QString>

#include <functional>
#include <optional>

namespace CommandCertificate {

// Finds the certificate that `given` (the command line's value) names.
// `readPassword` gives the password of a PKCS#12 file (called only for
// one). nullopt with `why` (Portuguese) when it cannot be read or found.
std::optional<Certificate> find(const QString& given, const std::function<QString()>& readPassword,
                                QString* why);

} // namespace CommandCertificate
