// Answers a proxy's demand for a user and password (HTTP 407) for the SOAP
// calls and the uploads alike: the user is asked once per session and per
// proxy through the CredentialsPrompter; what they type is kept in memory
// only, never written anywhere. Built once by the composition root.
//
// Only the proxy a request really went through is ever answered: a server
// reached directly (or another host) that answers 407 gets nothing.
#pragma once

#include "platform/CredentialsPrompter.h"

#include <QByteArray>
#include <QHash>
#include <QNetworkProxy>

class QAuthenticator;

class ProxyAuth {
public:
    // What became of a demand for a proxy password (HTTP 407) in one call or
    // upload.
    enum class Demand {
        None,        // none reached the client (or it could not be read)
        Answered,    // the proxy in use asked and was answered (or the user cancelled)
        NotTheProxy, // a host that is not the proxy in use asked: nothing sent
    };

    // The description, ready to show, of a call or upload that failed on a
    // proxy's demand for a password.
    static QString refusalText(Demand demand);

    // The value of a Proxy-Authorization field answering by the Basic
    // method: "Basic " and base64 of "user:password" in UTF-8.
    static QByteArray basicAuthorization(const QString& user, const QString& password);

    // prompter: may be null (then no credentials are ever given); not owned.
    explicit ProxyAuth(CredentialsPrompter* prompter) : m_prompter(prompter) {}

    // True when asking is a proxy (HTTP or SOCKS, with a host and port) and
    // the one the request was sent through: used itself, or any real proxy
    // when used is QNetworkProxy::DefaultProxy (the system's choice, which
    // only Qt knows). False for a demand over a direct connection.
    static bool isProxyInUse(const QNetworkProxy& asking, const QNetworkProxy& used);

    // Fills authenticator for the proxy asking, which the request went
    // through as used. Nothing is filled (false) when isProxyInUse fails.
    // tries counts the answers given during the one call or upload (start it
    // at 0): the first answer is the remembered credentials when there are
    // any, else the user's; after a refusal the user is asked once more,
    // saying so, with the user name given before offered again; after two
    // refusals, or a cancel, nothing is filled (false) and the call fails with
    // the proxy's refusal, and the authenticator is left without a user or
    // password. Remembered credentials that the authenticator
    // already carries were sent by the network layer itself and refused: the
    // user is asked at once, as after a refusal.
    bool answer(const QNetworkProxy& asking, const QNetworkProxy& used,
                QAuthenticator* authenticator, int& tries);

    // Drops what is remembered for proxy: it refused the last answer and the
    // call failed, so the next call asks the user again.
    void forget(const QNetworkProxy& proxy);

private:
    CredentialsPrompter* m_prompter;
    QHash<QString, Credentials> m_remembered; // "host:port" → credentials
};
