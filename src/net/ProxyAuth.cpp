// The per-session memory of proxy credentials and the bound on asking.
#include "net/ProxyAuth.h"

#include "net/ProxySettings.h"

#include <QAuthenticator>

namespace {

bool isRealProxy(const QNetworkProxy& proxy) {
    const QNetworkProxy::ProxyType type = proxy.type();
    return (type == QNetworkProxy::HttpProxy || type == QNetworkProxy::HttpCachingProxy ||
            type == QNetworkProxy::Socks5Proxy) &&
           !proxy.hostName().isEmpty() && proxy.port() > 0;
}

} // namespace

QByteArray ProxyAuth::basicAuthorization(const QString& user, const QString& password) {
    return "Basic " + (user + QLatin1Char(':') + password).toUtf8().toBase64();
}

QString ProxyAuth::refusalText(Demand demand) {
    switch (demand) {
    case Demand::Answered:
        return QStringLiteral("O proxy recusou o usuário ou a senha.");
    case Demand::NotTheProxy:
        return QStringLiteral("Quem pediu a senha do proxy não é o proxy em uso; "
                              "a senha não foi enviada.");
    case Demand::None:
        break;
    }
    return QStringLiteral("A resposta do proxy foi recusada: não é um pedido de senha que "
                          "se possa atender.");
}

bool ProxyAuth::isProxyInUse(const QNetworkProxy& asking, const QNetworkProxy& used) {
    if (!isRealProxy(asking))
        return false;
    if (used.type() == QNetworkProxy::DefaultProxy)
        return true;
    return isRealProxy(used) &&
           asking.hostName().compare(used.hostName(), Qt::CaseInsensitive) == 0 &&
           asking.port() == used.port();
}

bool ProxyAuth::answer(const QNetworkProxy& asking, const QNetworkProxy& used,
                       QAuthenticator* authenticator, int& tries) {
    if (!isProxyInUse(asking, used))
        return false;
    const QString name = ProxySettings::describe(asking);
    // Nothing given leaves the authenticator without a user: what it carried
    // was refused.
    const auto none = [authenticator] {
        authenticator->setUser(QString());
        authenticator->setPassword(QString());
        return false;
    };
    if (tries >= 2) {
        forget(asking);
        return none();
    }
    const auto remembered = m_remembered.constFind(name);
    const bool rememberedRefused = remembered != m_remembered.constEnd() &&
                                   authenticator->user() == remembered->user &&
                                   authenticator->password() == remembered->password;
    // Qt's own cache sent the remembered answer before asking: this demand is
    // its refusal, so only one more question is left.
    if (tries == 0 && rememberedRefused)
        tries = 1;
    ++tries;
    std::optional<Credentials> given;
    if (tries == 1 && remembered != m_remembered.constEnd()) {
        given = *remembered;
    } else {
        // A second demand within one call means the last answer was refused.
        const bool refused = tries == 2;
        const QString user =
            remembered != m_remembered.constEnd() ? remembered->user : authenticator->user();
        if (refused)
            m_remembered.remove(name);
        if (m_prompter)
            given = m_prompter->askProxyCredentials(name, refused, user);
    }
    if (!given)
        return none();
    m_remembered.insert(name, *given);
    authenticator->setUser(given->user);
    authenticator->setPassword(given->password);
    return true;
}

void ProxyAuth::forget(const QNetworkProxy& proxy) {
    m_remembered.remove(ProxySettings::describe(proxy));
}
