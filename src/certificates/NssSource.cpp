// Listing the user certificates of NSS databases. NSS keeps process-wide
// state, so one database is open at a time (a mutex), each in its own
// context opened read-only, without the module list and without the
// built-in authorities.
#include "certificates/NssSource.h"

#include "base/RuntimeError.h"

// NSS names a structure member "slots", which Qt's keyword macro would erase.
#undef slots
#include <cert.h>
#include <nss.h>
#include <pk11pub.h>
#include <prerror.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <mutex>

namespace {

std::mutex& nssMutex() {
    static std::mutex m;
    return m;
}

QList<QByteArray> userCertificates(const QString& folder, QString& error) {
    const std::lock_guard<std::mutex> lock(nssMutex());
    const QByteArray configDir = "sql:" + QFile::encodeName(folder);
    NSSInitContext* context = NSS_InitContext(configDir.constData(), "", "", "", nullptr,
                                              NSS_INIT_READONLY | NSS_INIT_NOROOTINIT |
                                                  NSS_INIT_NOMODDB | NSS_INIT_OPTIMIZESPACE);
    if (!context) {
        error =
            QString::fromUtf8(PR_ErrorToName(PR_GetError()) ? PR_ErrorToName(PR_GetError()) : "?");
        return {};
    }
    QList<QByteArray> ders;
    if (CERTCertList* list = PK11_ListCerts(PK11CertListUserUnique, nullptr)) {
        // The list's nodes start with their links (what NSS's own list
        // macros rely on, written out here without their C casts).
        for (PRCList* link = list->list.next; link != &list->list; link = link->next) {
            const CERTCertListNode* node = reinterpret_cast<const CERTCertListNode*>(link);
            ders.append(QByteArray(reinterpret_cast<const char*>(node->cert->derCert.data),
                                   static_cast<qsizetype>(node->cert->derCert.len)));
        }
        CERT_DestroyCertList(list);
    }
    NSS_ShutdownContext(context);
    return ders;
}

void addIfPresent(QList<NssDatabase>& out, const QString& folder, const QString& label) {
    if (QFileInfo::exists(folder + QStringLiteral("/cert9.db")))
        out.append({QDir::cleanPath(folder), label});
}

void addFirefoxProfiles(QList<NssDatabase>& out, const QString& firefoxFolder) {
    const QString ini = firefoxFolder + QStringLiteral("/profiles.ini");
    if (!QFileInfo::exists(ini))
        return;
    const QSettings profiles(ini, QSettings::IniFormat);
    for (const QString& group : profiles.childGroups()) {
        if (!group.startsWith(QLatin1String("Profile")))
            continue;
        const QString path = profiles.value(group + QStringLiteral("/Path")).toString();
        if (path.isEmpty())
            continue;
        const bool relative = profiles.value(group + QStringLiteral("/IsRelative"), 1).toInt() != 0;
        const QString name = profiles.value(group + QStringLiteral("/Name"), path).toString();
        addIfPresent(out, relative ? firefoxFolder + QLatin1Char('/') + path : path,
                     QStringLiteral("Firefox (perfil ") + name + QLatin1Char(')'));
    }
}

} // namespace

NssSource::NssSource(QList<NssDatabase> databases) : m_databases(std::move(databases)) {}

QString NssSource::name() const {
    return QStringLiteral("Navegadores (NSS)");
}

CertificateListing NssSource::list() const {
    CertificateListing listing;
    for (const NssDatabase& db : m_databases) {
        QString error;
        const QList<QByteArray> ders = userCertificates(db.folder, error);
        if (!error.isEmpty()) {
            listing.failures.append(db.label + QStringLiteral(": não foi possível abrir ") +
                                    db.folder + QStringLiteral(" (") + error +
                                    QStringLiteral(")."));
            continue;
        }
        for (const QByteArray& der : ders) {
            try {
                listing.certificates.append(
                    {parseCertificateDer(der), readHolderDocuments(der), db.label, QString()});
            } catch (const RuntimeError&) {
                // NSS decoded it; a certificate OpenSSL refuses is no choice.
            }
        }
    }
    return listing;
}

QList<NssDatabase> NssSource::userDatabases(const QString& home) {
    QList<NssDatabase> out;
    addIfPresent(out, home + QStringLiteral("/.pki/nssdb"),
                 QStringLiteral("Banco NSS do usuário (Chrome)"));
    addFirefoxProfiles(out, home + QStringLiteral("/.mozilla/firefox"));
    addFirefoxProfiles(out, home + QStringLiteral("/snap/firefox/common/.mozilla/firefox"));
    addFirefoxProfiles(out,
                       home + QStringLiteral("/.var/app/org.mozilla.firefox/.mozilla/firefox"));
    return out;
}
