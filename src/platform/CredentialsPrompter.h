// Asking the user for the user name and password a proxy demands. The program
// backs it with a small dialog (QtCredentialsPrompter); tests script it.
#pragma once

#include <QString>

#include <optional>

struct Credentials {
    QString user;
    QString password;
};

class CredentialsPrompter {
public:
    virtual ~CredentialsPrompter() = default;
    // Asks for the credentials of the proxy named proxy ("host:port"); refused
    // says the ones given before were not accepted; user is the user name
    // offered in its field (the one given before, empty when none). Empty when
    // the user cancels.
    virtual std::optional<Credentials> askProxyCredentials(const QString& proxy, bool refused,
                                                           const QString& user) = 0;
};
