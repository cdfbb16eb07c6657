// Answers a proxy's demand for a user and password (HTTP 407) for the SOAP
// calls and the uploads alike: the user is asked once per session and per
// proxy through the CredentialsPrompter; what they type is kept in memory
// only, never written anywhere. Built once by the composition root.
#pragma once

#include "platform/CredentialsPrompter.h"

#include <QHash>
#include <QNetworkProxy>

class QAuthenticator;

class ProxyAuth {
public:
    // prompter: may be null (then no credentials are ever given); not owned.
    explicit ProxyAuth(CredentialsPrompter* prompter) : m_prompter(prompter) {}

    // Fills authenticator for proxy. tries counts the answers given during the
    // one call or upload (start it at 0): the first answer is the remembered
    // credentials when there are any, else the user's; after a refusal the
    // user is asked once more; after two refusals, or a cancel, nothing is
    // filled (false) and the call fails with the proxy's refusal.
    bool answer(const QNetworkProxy& proxy, QAuthenticator* authenticator, int& tries);

    // Drops what is remembered for proxy: it refused the last answer and the
    // call failed, so the next call asks the user again.
    void forget(const QNetworkProxy& proxy);

private:
    CredentialsPrompter* m_prompter;
    QHash<QString, Credentials> m_remembered; // "host:port" → credentials
};
