// One place where the user keeps certificates (the client's own folder, a
// PKCS#11 token, a browser's NSS database) and what listing it found. Sources
// only read certificate objects, which are public: no private key is ever
// read, copied or used, and nothing is written to a token or a database.
#pragma once

#include "certificates/Certificate.h"
#include "certificates/HolderDocuments.h"

#include <QList>
#include <QString>
#include <QStringList>

// A certificate and where it was found.
struct SourcedCertificate {
    Certificate certificate;
    HolderDocuments documents;
    QString origin;  // for the list's "Origem" column, e.g. "Token SoftHSM (meu-token)"
    QString storeId; // the own folder's file id (removable there); empty elsewhere
};

// A token that shows no certificate before the user logs in.
struct LoginToken {
    QString modulePath; // the PKCS#11 module's file
    unsigned long slotId = 0;
    QString label;      // the token's label, for the PIN question
    QString origin;     // as SourcedCertificate::origin
    QString moduleName; // the module's registered name, for a line naming it
};

// What listing sources found. failures holds one line per source (or module)
// that could not be read, naming it.
struct CertificateListing {
    QList<SourcedCertificate> certificates;
    QList<LoginToken> loginTokens;
    QStringList failures;
};

class CertificateSource {
public:
    virtual ~CertificateSource() = default;
    // The source's name for a failure line and the diagnostics, e.g.
    // "Pasta do programa".
    virtual QString name() const = 0;
    // Lists the source. Runs on a worker thread, possibly beside other
    // sources; may take long or hang (the caller's time-out covers it).
    // Failures of a part (one module, one database) go to failures; throws
    // RuntimeError when the whole source cannot be read.
    virtual CertificateListing list() const = 0;
};
