// Browsers' certificate databases (NSS "cert9.db"): the user's shared
// database ~/.pki/nssdb, used by Chrome and others, and each Firefox profile's.
// Each database is read in a child of its own (CertificateChild), opened
// read-only; only certificates with a private key in the database (the
// user's own, not the authorities') are listed, and the key is never read.
#pragma once

#include "certificates/CertificateSource.h"

#include <QList>

#include <memory>

#include <chrono>

struct NssDatabase {
    QString folder; // holds cert9.db and key4.db
    QString label;  // for the list's "Origem" column
};

class NssSource : public CertificateSource {
public:
    explicit NssSource(QList<NssDatabase> databases,
                       std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // The user's databases (userDatabases(home)), looked up when listed.
    static std::shared_ptr<NssSource> ofHome(const QString& home,
                                             std::chrono::milliseconds timeout);
    QString name() const override;
    // A database that cannot be opened, or whose child fails, gives one
    // failure line naming it; the databases are read side by side.
    CertificateListing list() const override;

    // The databases of the user whose home folder is home: ~/.pki/nssdb and
    // the Firefox profiles listed in profiles.ini (also Firefox's snap and
    // flatpak folders), those that hold a cert9.db.
    static QList<NssDatabase> userDatabases(const QString& home);

private:
    QList<NssDatabase> m_databases;
    QString m_home; // when set, the databases are looked up at list()
    std::chrono::milliseconds m_timeout;
};
