// Logging into a token that shows its certificates only after the PIN, off
// the window's thread: a token that hangs leaves the window usable. The
// selection dialog and the certificates window both log in through here.
#pragma once

#include "certificates/CertificateSource.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

class QObject;

struct TokenLoginResult {
    QList<SourcedCertificate> found; // the token's certificates after login
    std::optional<QString> error;    // the text for the user when the login failed
};

// Logs into token with pin on a worker thread, lists its certificates and
// logs out; done then runs on receiver's thread, unless receiver is gone by
// then. Returns at once. The PIN is wiped on both sides once used; pin is
// taken by value so the caller's copy can be wiped at once too.
void logIntoTokenAsync(const LoginToken& token, QString pin, QObject* receiver,
                       std::function<void(const TokenLoginResult&)> done);
