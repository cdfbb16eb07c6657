// Certificate sources, the legacy provider and the application folder.
#include "diagnostics/LocalChecks.h"

#include "certificates/CertificateSources.h"
#include "certificates/CertificateStore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
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

DiagnosticStep certificateSources(const QString& certificateFolder, const QString& home) {
    QElapsedTimer elapsed;
    elapsed.start();
    DiagnosticStep step{
        QStringLiteral("Fontes de certificados"), DiagnosticStep::Outcome::Ok, {}, 0};
    QStringList found;
    int total = 0;
    try {
        const int count = static_cast<int>(CertificateStore(certificateFolder).list().size());
        total += count;
        found << QStringLiteral("pasta de certificados do programa (%1): %2 certificado(s)")
                     .arg(QDir::toNativeSeparators(certificateFolder))
                     .arg(count);
    } catch (const RuntimeError& e) {
        step.outcome = DiagnosticStep::Outcome::Failed;
        found << QStringLiteral("pasta de certificados do programa (%1): não pôde ser lida (%2)")
                     .arg(QDir::toNativeSeparators(certificateFolder), e.description());
    }
    // Tokens and browsers are only named here: listing them can take a module's
    // whole time-out, and the selection dialog already does that off this thread.
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
    if (total == 0 && step.outcome == DiagnosticStep::Outcome::Ok)
        step.outcome = DiagnosticStep::Outcome::Attention;
    step.detail = found.join(QStringLiteral("; "));
    step.ms = elapsed.elapsed();
    return step;
}

DiagnosticStep legacyProvider() {
    QElapsedTimer elapsed;
    elapsed.start();
    DiagnosticStep step{
        QStringLiteral("Provedor legado do OpenSSL"), DiagnosticStep::Outcome::Ok, {}, 0};
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
    DiagnosticStep step{QStringLiteral("Pasta do aplicativo"), DiagnosticStep::Outcome::Ok, {}, 0};
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
