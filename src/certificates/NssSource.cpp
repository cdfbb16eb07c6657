// Listing the user certificates of NSS databases through the reader child,
// one child per database, and finding the user's databases.
#include "certificates/NssSource.h"

#include "base/RuntimeError.h"
#include "certificates/CertificateChild.h"
#include "certificates/ChildFailureText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <thread>
#include <vector>

namespace {

CertificateListing listDatabase(const NssDatabase& db, std::chrono::milliseconds timeout) {
    CertificateListing listing;
    CertificateChild::Limits limits;
    limits.timeout = timeout;
    std::vector<CertificateFrames::Record> records;
    try {
        records = CertificateChild::run({QStringLiteral("--nss"), db.folder}, limits);
    } catch (const CertificateChild::Failure& e) {
        listing.failures.append(moduleFailureLine(db.label, db.folder, e, timeout));
        return listing;
    }
    for (const CertificateFrames::Record& r : records) {
        if (r.tag == 'F') {
            const std::size_t zero = r.payload.find('\0', 4);
            const std::string name =
                zero == std::string::npos ? std::string() : r.payload.substr(zero + 1);
            listing.failures.append(
                db.label + QStringLiteral(": não foi possível abrir ") + db.folder +
                QStringLiteral(" (") +
                QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())) +
                QStringLiteral(")."));
        }
        std::uint64_t size = 0;
        if (r.tag == 'S' && CertificateFrames::readU64(r.payload, size))
            listing.failures.append(db.label + QStringLiteral(": ") + leftOutText(size));
        if (r.tag != 'C')
            continue;
        const QByteArray der(r.payload.data(), static_cast<qsizetype>(r.payload.size()));
        try {
            listing.certificates.append(
                {parseCertificateDer(der), readHolderDocuments(der), db.label, QString()});
        } catch (const RuntimeError&) {
            // NSS decoded it; a certificate OpenSSL refuses is no choice.
        }
    }
    return listing;
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

NssSource::NssSource(QList<NssDatabase> databases, std::chrono::milliseconds timeout)
    : m_databases(std::move(databases)), m_timeout(timeout) {}

std::shared_ptr<NssSource> NssSource::ofHome(const QString& home,
                                             std::chrono::milliseconds timeout) {
    auto source = std::make_shared<NssSource>(QList<NssDatabase>{}, timeout);
    source->m_home = home;
    return source;
}

QString NssSource::name() const {
    return QStringLiteral("Navegadores (NSS)");
}

CertificateListing NssSource::list() const {
    const QList<NssDatabase> databases = m_home.isEmpty() ? m_databases : userDatabases(m_home);
    std::vector<CertificateListing> results(static_cast<std::size_t>(databases.size()));
    std::vector<std::thread> threads;
    for (qsizetype i = 0; i < databases.size(); ++i)
        threads.emplace_back([&results, &databases, i, this] {
            results[static_cast<std::size_t>(i)] = listDatabase(databases[i], m_timeout);
        });
    for (std::thread& t : threads)
        t.join();
    CertificateListing listing;
    for (const CertificateListing& r : results) {
        listing.certificates.append(r.certificates);
        listing.failures.append(r.failures);
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
