// PKCS#11 tokens and smart cards as a certificate source, through p11-kit:
// by default every module registered with the system (where OpenSC and the
// vendors' packages register theirs), or an explicit list of module files.
// Certificate objects are public, so listing asks for no PIN; a token that
// shows nothing before login is reported for the "Entrar no token..." action.
#pragma once

#include "certificates/CertificateSource.h"

#include <QStringList>

class Pkcs11Source : public CertificateSource {
public:
    // modulePaths empty: the modules registered with p11-kit, except those
    // that hold the system's trust anchors (option "trust-policy"); else
    // exactly these module files.
    explicit Pkcs11Source(QStringList modulePaths = {});
    QString name() const override;
    // The end-entity certificates of every token present; authorities'
    // certificates stored beside them are left out. A module that fails to
    // load or start gives one failure line naming it; the others still list.
    CertificateListing list() const override;

    // Logs into the token with pin, lists its certificates and logs out; the
    // PIN is used for this call only and its copy is wiped. Throws
    // RuntimeError with the text for the user: wrong or locked PIN, token
    // gone, module failure.
    static QList<SourcedCertificate> listAfterLogin(const LoginToken& token, const QString& pin);

    // The names of the modules registered with p11-kit (without the trust
    // modules), for the diagnostics.
    static QStringList registeredModuleNames();

private:
    QStringList m_modulePaths;
};
