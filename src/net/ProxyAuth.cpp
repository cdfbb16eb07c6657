// The per-session memory of proxy credentials and the bound on asking.
#include "net/ProxyAuth.h"

#include "net/ProxySettings.h"

#include <QAuthenticator>

bool ProxyAuth::answer(const QNetworkProxy& proxy, QAuthenticator* authenticator, int& tries) {
    const QString name = ProxySettings::describe(proxy);
    if (tries >= 2) {
        forget(proxy);
        return false;
    }
    ++tries;
    std::optional<Credentials> given;
    if (tries == 1 && m_remembered.contains(name)) {
        given = m_remembered.value(name);
    } else {
        // A second demand within one call means the last answer was refused.
        const bool refused = tries == 2;
        if (refused)
            m_remembered.remove(name);
        if (m_prompter)
            given = m_prompter->askProxyCredentials(name, refused);
    }
    if (!given)
        return false;
    m_remembered.insert(name, *given);
    authenticator->setUser(given->user);
    authenticator->setPassword(given->password);
    return true;
}

void ProxyAuth::forget(const QNetworkProxy& proxy) {
    m_remembered.remove(ProxySettings::describe(proxy));
}
