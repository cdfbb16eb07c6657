// The program's proxy credentials dialog: the proxy's name, a user field, a
// masked password field, "OK" and "Cancelar".
#pragma once

#include "platform/CredentialsPrompter.h"

class QtCredentialsPrompter : public CredentialsPrompter {
public:
    std::optional<Credentials> askProxyCredentials(const QString& proxy, bool refused,
                                                   const QString& user) override;
};
