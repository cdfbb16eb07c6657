// Certificate sources, the legacy provider and the application folder.
#include "diagnostics/LocalChecks.h"

#include "certificates/CertificateSources.h"
#include "diagnostics/DiagnosticWording.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QSet>
#include <QStorageInfo>
#include <QTemporaryFile>

#include <openssl/crypto.h>
#include <openssl/provider.h>

#ifdef Q_OS_UNIX
#include <sys/statvfs.h>
#endif

#include <exception>
#include <optional>

namespace {

QString sizeText(qint64 bytes) {
    return QLocale(QLocale::Portuguese, QLocale::Brazil)
        .formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

// Bytes an unprivileged user may still write in folder's file system. Qt finds
// the file system through the mount list, which leaves out the root of a
// chroot and of some containers; the system call on the folder itself does not
// depend on that list.
std::optional<qint64> freeBytes(const QString& folder) {
    const QStorageInfo storage(folder);
    if (storage.isValid() && storage.bytesAvailable() >= 0)
        return storage.bytesAvailable();
#ifdef Q_OS_UNIX
    struct statvfs fs {};
    if (!folder.isEmpty() && statvfs(QFile::encodeName(folder).constData(), &fs) == 0)
        return static_cast<qint64>(fs.f_bavail) * static_cast<qint64>(fs.f_frsize);
#endif
    return std::nullopt;
}

} // namespace

namespace LocalChecks {

DiagnosticStep certificateSources(const CertificateListing& listing,
                                  const QString& certificateFolder, const QString& home) {
    DiagnosticStep step{DiagnosticWording::certificatesStep(), DiagnosticStep::Outcome::Ok, {}, 0};
    // Each place with its count, in the order found; a certificate held in
    // two places counts once in the total.
    QStringList places;
    QHash<QString, int> perPlace;
    QSet<QByteArray> distinct;
    for (const SourcedCertificate& c : listing.certificates) {
        distinct.insert(c.certificate.der);
        if (!perPlace.contains(c.origin))
            places.append(c.origin);
        ++perPlace[c.origin];
    }
    const int total = static_cast<int>(distinct.size());
    QStringList counts;
    for (const QString& place : places)
        counts << QStringLiteral("%1: %2").arg(place).arg(perPlace.value(place));
    QStringList found;
    found << (counts.isEmpty() ? QStringLiteral("%1 certificado(s)").arg(total)
                               : QStringLiteral("%1 certificado(s) (%2)")
                                     .arg(total)
                                     .arg(counts.join(QStringLiteral(", "))));
    found << QStringLiteral("pasta de certificados do programa: %1")
                 .arg(QDir::toNativeSeparators(certificateFolder));
    const QStringList others = certificateSourceNames(home).mid(1);
    QStringList tokens, browsers;
    for (const QString& name : others)
        if (name.startsWith(QLatin1String("Token: ")))
            tokens.append(name.mid(7));
        else
            browsers.append(name);
    found << QStringLiteral("tokens (PKCS#11): %1")
                 .arg(tokens.isEmpty() ? QStringLiteral("nenhum módulo registrado")
                                       : tokens.join(QStringLiteral(", ")));
    found << QStringLiteral("navegadores: %1")
                 .arg(browsers.isEmpty() ? QStringLiteral("nenhum banco de certificados")
                                         : browsers.join(QStringLiteral(", ")));
    for (const QString& failure : listing.failures)
        found << QStringLiteral("não lido: ") + failure;
    if (!listing.failures.isEmpty())
        step.outcome = DiagnosticStep::Outcome::Failed;
    else if (total == 0)
        step.outcome = DiagnosticStep::Outcome::Attention;
    step.detail = found.join(QStringLiteral("; "));
    return step;
}

DiagnosticStep legacyProvider() {
    QElapsedTimer elapsed;
    elapsed.start();
    DiagnosticStep step{DiagnosticWording::legacyStep(), DiagnosticStep::Outcome::Ok, {}, 0};
    const QString version = QString::fromLatin1(OpenSSL_version(OPENSSL_VERSION));
    // Loading it here and letting it go again leaves the program as it was;
    // the certificate store loads it for itself when it needs it.
    OSSL_PROVIDER* provider = OSSL_PROVIDER_try_load(nullptr, "legacy", 1);
    if (provider) {
        OSSL_PROVIDER_unload(provider);
        step.detail = QStringLiteral("disponível (%1)").arg(version);
    } else {
        step.outcome = DiagnosticStep::Outcome::Attention;
        step.detail = QStringLiteral("não encontrado (%1): arquivos de certificado .pfx/.p12 de "
                                     "ferramentas antigas não poderão ser importados")
                          .arg(version);
    }
    step.ms = elapsed.elapsed();
    return step;
}

DiagnosticStep applicationFolder(const QString& folder, const QString& logFolder) {
    QElapsedTimer elapsed;
    elapsed.start();
    DiagnosticStep step{DiagnosticWording::folderStep(), DiagnosticStep::Outcome::Ok, {}, 0};
    QStringList parts{QDir::toNativeSeparators(folder)};
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral("diagnostico-XXXXXX")));
    const bool writable = !folder.isEmpty() && QFileInfo(folder).isDir() && probe.open();
    parts << (writable ? QStringLiteral("gravável") : QStringLiteral("sem permissão de gravação"));
    if (!writable)
        step.outcome = DiagnosticStep::Outcome::Failed;
    if (const std::optional<qint64> free = freeBytes(folder)) {
        parts << QStringLiteral("espaço livre: %1").arg(sizeText(*free));
        if (*free < kLowSpaceBytes && writable)
            step.outcome = DiagnosticStep::Outcome::Attention;
    } else {
        parts << QStringLiteral("espaço livre desconhecido");
    }
    parts << (logFolder.isEmpty() ? QStringLiteral("registro de suporte desligado")
                                  : QStringLiteral("registros de suporte em %1")
                                        .arg(QDir::toNativeSeparators(logFolder)));
    step.detail = parts.join(QStringLiteral("; "));
    step.ms = elapsed.elapsed();
    return step;
}

} // namespace LocalChecks
