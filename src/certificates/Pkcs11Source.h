// PKCS#11 tokens and smart cards as a certificate source: by default every
// module registered with p11-kit (where OpenSC and the vendors' packages
// register theirs) and those the user registered for this program alone
// (ownModuleFolder), or an explicit list of module files. Each module is read
// in a child of its own (CertificateChild) with its own time-out, so a driver
// that hangs costs that module only, and the line names it. Certificate
// objects are public, so listing asks for no PIN; a token that shows nothing
// before login is reported for the "Entrar no token..." action.
#pragma once

#include "certificates/CertificateSource.h"

#include <QStringList>

#include <chrono>

class Pkcs11Source : public CertificateSource {
public:
    // modulePaths empty: the modules registered with p11-kit, except those
    // that hold the system's trust anchors (option "trust-policy"), then
    // those of moduleFolder; else exactly these module files. Each module's
    // child is killed after timeout.
    explicit Pkcs11Source(QStringList modulePaths = {},
                          std::chrono::milliseconds timeout = std::chrono::seconds(10),
                          QString moduleFolder = ownModuleFolder());
    QString name() const override;
    // The end-entity certificates of every token present; authorities'
    // certificates stored beside them are left out. A module that fails to
    // load or start, crashes or does not answer in time gives one failure
    // line naming it ("Módulo travado: NAME (FILE) não respondeu em N s.");
    // the others still list. Throws RuntimeError when the reader child is
    // missing or the registered modules cannot be read.
    CertificateListing list() const override;

    // Logs into the token with pin in a child (the PIN goes through a pipe),
    // lists its certificates and logs out; the PIN's copy here is wiped.
    // Throws RuntimeError with the text for the user: wrong or locked PIN,
    // token gone, module failure, no answer within timeout.
    static QList<SourcedCertificate>
    listAfterLogin(const LoginToken& token, const QString& pin,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // The names of the modules registered with p11-kit (without the trust
    // modules) and in ownModuleFolder, for the diagnostics. Starts none.
    static QStringList registeredModuleNames();

    // The folder of modules registered for this program alone, beside its
    // certificate folder: one NAME.module file per module, with a line
    // "module: FILE" as p11-kit's own files (a relative FILE is taken from
    // the folder).
    static QString ownModuleFolder();

    struct Module {
        QString name;
        QString file;
    };
    // The modules as listed above; throws RuntimeError as list() does.
    static QList<Module> registeredModules(const QString& moduleFolder,
                                           std::chrono::milliseconds timeout);

private:
    QStringList m_modulePaths;
    std::chrono::milliseconds m_timeout;
    QString m_moduleFolder;
};
