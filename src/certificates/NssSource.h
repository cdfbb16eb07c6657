// Browsers' certificate databases (NSS "cert9.db"): the user's shared
// database ~/.pki/nssdb, used by Chrome and others, and each Firefox profile's.
// Opened read-only; only certificates with a private key in the database (the
// user's own, not the authorities') are listed, and the key is never read.
#pragma once

#include "certificates/CertificateSource.h"

#include <QList>

struct NssDatabase {
    QString folder; // holds cert9.db and key4.db
    QString label;  // for the list's "Origem" column
};

class NssSource : public CertificateSource {
public:
    explicit NssSource(QList<NssDatabase> databases);
    QString name() const override;
    // A database that cannot be opened gives one failure line naming it.
    CertificateListing list() const override;

    // The databases of the user whose home folder is home: ~/.pki/nssdb and
    // the Firefox profiles listed in profiles.ini (also Firefox's snap and
    // flatpak folders), those that hold a cert9.db.
    static QList<NssDatabase> userDatabases(const QString& home);

private:
    QList<NssDatabase> m_databases;
};
