// Reading certificate objects from PKCS#11 modules through the reader child:
// one child lists the registered modules (none is started), then one child
// per module, side by side, each with its own time-out.
#include "certificates/Pkcs11Source.h"

#include "base/RuntimeError.h"
#include "certificates/CertificateChild.h"
#include "certificates/ChildFailureText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <thread>
#include <vector>

namespace {

using CertificateFrames::Record;

const QString kSource = QStringLiteral("Token");
constexpr qint32 kError = static_cast<qint32>(0x80040100u);

// The PKCS#11 return values the login tells apart.
constexpr std::uint32_t kPinIncorrect = 0xA0, kPinInvalid = 0xA1, kPinLenRange = 0xA2,
                        kPinLocked = 0xA4;

QString text(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// A failure record's code, stage and detail.
struct Failed {
    std::uint32_t code = 0;
    QString stage, detail;
};

Failed failedOf(const Record& r) {
    Failed f;
    CertificateFrames::readU32(r.payload, f.code);
    const std::string rest = r.payload.size() > 4 ? r.payload.substr(4) : std::string();
    const std::size_t zero = rest.find('\0');
    f.stage = text(rest.substr(0, zero));
    if (zero != std::string::npos)
        f.detail = text(rest.substr(zero + 1));
    return f;
}

QString originOf(const QString& label, const QString& module) {
    return QStringLiteral("Token ") + label + QStringLiteral(" (") + module + QLatin1Char(')');
}

// The end-entity certificates among values; undecodable objects are skipped.
void appendCertificate(const std::string& value, const QString& origin,
                       QList<SourcedCertificate>& out) {
    const QByteArray der(value.data(), static_cast<qsizetype>(value.size()));
    const HolderDocuments documents = readHolderDocuments(der);
    if (documents.isAuthority)
        return;
    try {
        out.append({parseCertificateDer(der), documents, origin, QString()});
    } catch (const RuntimeError&) {
        // An object that is not a readable certificate is no choice for the
        // user; the token's other certificates still list.
    }
}

CertificateChild::Limits limitsOf(std::chrono::milliseconds timeout) {
    CertificateChild::Limits limits;
    limits.timeout = timeout;
    return limits;
}

// One module's listing: what its child answered, or its failure line.
CertificateListing listModule(const Pkcs11Source::Module& module,
                              std::chrono::milliseconds timeout) {
    CertificateListing listing;
    std::vector<Record> records;
    try {
        records =
            CertificateChild::run({QStringLiteral("--module"), module.file}, limitsOf(timeout));
    } catch (const CertificateChild::Failure& e) {
        listing.failures.append(moduleFailureLine(module.name, module.file, e, timeout));
        return listing;
    }
    QString label, origin;
    unsigned long slot = 0;
    bool loginRequired = false;
    qsizetype tokenStart = 0;
    const auto closeToken = [&] {
        if (!origin.isEmpty() && loginRequired && listing.certificates.size() == tokenStart)
            listing.loginTokens.append({module.file, slot, label, origin, module.name});
    };
    for (const Record& r : records) {
        switch (r.tag) {
        case 'T': {
            closeToken();
            origin.clear(); // a malformed token record takes no certificate
            std::uint64_t id = 0;
            if (!CertificateFrames::readU64(r.payload, id) || r.payload.size() < 9)
                break;
            slot = static_cast<unsigned long>(id);
            loginRequired =
                (static_cast<unsigned char>(r.payload[8]) & CertificateFrames::kLoginRequired) != 0;
            label = text(r.payload.substr(9));
            origin = originOf(label, module.name);
            tokenStart = listing.certificates.size();
            break;
        }
        case 'C':
            if (!origin.isEmpty())
                appendCertificate(r.payload, origin, listing.certificates);
            break;
        case 'S': {
            std::uint64_t size = 0;
            if (!origin.isEmpty() && CertificateFrames::readU64(r.payload, size))
                listing.failures.append(origin + QStringLiteral(": ") + leftOutText(size));
            break;
        }
        case 'W': {
            const Failed f = failedOf(r);
            listing.failures.append(originOf(f.stage, module.name) +
                                    QStringLiteral(": não foi possível abrir (") + f.detail +
                                    QStringLiteral(")."));
            origin.clear(); // nothing more of this token
            break;
        }
        case 'F': {
            const Failed f = failedOf(r);
            if (f.stage == QLatin1String("load"))
                listing.failures.append(QStringLiteral("Módulo PKCS#11 ") + module.name +
                                        QStringLiteral(": não foi possível carregar o arquivo ") +
                                        module.file + QLatin1Char('.'));
            else
                listing.failures.append(QStringLiteral("Módulo PKCS#11 ") + module.name +
                                        QStringLiteral(": não foi possível iniciar (") + f.detail +
                                        QStringLiteral(")."));
            break;
        }
        default:
            break;
        }
    }
    closeToken();
    return listing;
}

QList<Pkcs11Source::Module> ownModules(const QString& folder) {
    QList<Pkcs11Source::Module> modules;
    const QDir dir(folder);
    for (const QFileInfo& info :
         dir.entryInfoList({QStringLiteral("*.module")}, QDir::Files, QDir::Name)) {
        QFile file(info.filePath());
        if (!file.open(QIODevice::ReadOnly) || file.size() > 64 * 1024)
            continue;
        for (const QByteArray& raw : file.readAll().split('\n')) {
            const QByteArray line = raw.trimmed();
            if (!line.startsWith("module:"))
                continue;
            const QString path = QFile::decodeName(line.mid(7).trimmed());
            if (!path.isEmpty())
                modules.append({info.completeBaseName(),
                                QDir::cleanPath(QDir(folder).absoluteFilePath(path))});
            break;
        }
    }
    return modules;
}

} // namespace

Pkcs11Source::Pkcs11Source(QStringList modulePaths, std::chrono::milliseconds timeout,
                           QString moduleFolder)
    : m_modulePaths(std::move(modulePaths)), m_timeout(timeout),
      m_moduleFolder(std::move(moduleFolder)) {}

QString Pkcs11Source::name() const {
    return QStringLiteral("Tokens e cartões (PKCS#11)");
}

QString Pkcs11Source::ownModuleFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/modulos-pkcs11");
}

QList<Pkcs11Source::Module> Pkcs11Source::registeredModules(const QString& moduleFolder,
                                                            std::chrono::milliseconds timeout) {
    std::vector<Record> records;
    try {
        records = CertificateChild::run({QStringLiteral("--modules")}, limitsOf(timeout));
    } catch (const CertificateChild::Failure& e) {
        throw RuntimeError(kError, kSource, sourceFailureText(e, timeout));
    }
    QList<Module> modules;
    for (const Record& r : records) {
        if (r.tag == 'F')
            throw RuntimeError(kError, kSource,
                               QStringLiteral("a lista de módulos do sistema não pôde ser lida (") +
                                   failedOf(r).detail + QStringLiteral(")."));
        if (r.tag != 'M')
            continue;
        const std::size_t zero = r.payload.find('\0');
        if (zero == std::string::npos)
            continue;
        const QString file = text(r.payload.substr(zero + 1));
        QString name = text(r.payload.substr(0, zero));
        if (name.isEmpty())
            name = QFileInfo(file).fileName();
        modules.append({name, file});
    }
    if (!moduleFolder.isEmpty())
        modules.append(ownModules(moduleFolder));
    return modules;
}

CertificateListing Pkcs11Source::list() const {
    QList<Module> modules;
    if (m_modulePaths.isEmpty()) {
        modules = registeredModules(m_moduleFolder, m_timeout);
    } else {
        for (const QString& path : m_modulePaths)
            modules.append({QFileInfo(path).fileName(), path});
    }
    // One thread per module, each waiting on its own child: all end within
    // the time-out, so the joins below are bounded.
    std::vector<CertificateListing> results(static_cast<std::size_t>(modules.size()));
    std::vector<std::thread> threads;
    for (qsizetype i = 0; i < modules.size(); ++i)
        threads.emplace_back([&results, &modules, i, this] {
            results[static_cast<std::size_t>(i)] = listModule(modules[i], m_timeout);
        });
    for (std::thread& t : threads)
        t.join();
    CertificateListing listing;
    for (const CertificateListing& r : results) {
        listing.certificates.append(r.certificates);
        listing.loginTokens.append(r.loginTokens);
        listing.failures.append(r.failures);
    }
    return listing;
}

QList<SourcedCertificate> Pkcs11Source::listAfterLogin(const LoginToken& token, const QString& pin,
                                                       std::chrono::milliseconds timeout) {
    const QString moduleName =
        token.moduleName.isEmpty() ? QFileInfo(token.modulePath).fileName() : token.moduleName;
    QByteArray secret = pin.toUtf8();
    std::vector<Record> records;
    try {
        records = CertificateChild::run(
            {QStringLiteral("--login"), token.modulePath, QString::number(token.slotId)},
            limitsOf(timeout), &secret);
    } catch (const CertificateChild::Failure& e) {
        secret.fill('\0');
        throw RuntimeError(kError, kSource,
                           moduleFailureLine(moduleName, token.modulePath, e, timeout));
    }
    secret.fill('\0');
    QList<SourcedCertificate> certificates;
    QString leftOut;
    for (const Record& r : records) {
        if (r.tag == 'C')
            appendCertificate(r.payload, token.origin, certificates);
        std::uint64_t size = 0;
        if (r.tag == 'S' && CertificateFrames::readU64(r.payload, size))
            leftOut = token.origin + QStringLiteral(": ") + leftOutText(size);
        if (r.tag != 'F')
            continue;
        const Failed f = failedOf(r);
        if (f.stage == QLatin1String("session"))
            throw RuntimeError(kError, kSource,
                               QStringLiteral("O token ") + token.label +
                                   QStringLiteral(" não está mais presente."));
        if (f.code == kPinIncorrect || f.code == kPinInvalid || f.code == kPinLenRange)
            throw RuntimeError(kError, kSource,
                               QStringLiteral("PIN incorreto para o token ") + token.label +
                                   QLatin1Char('.'));
        if (f.code == kPinLocked)
            throw RuntimeError(kError, kSource,
                               QStringLiteral("O PIN do token ") + token.label +
                                   QStringLiteral(" está bloqueado."));
        if (f.stage == QLatin1String("login"))
            throw RuntimeError(kError, kSource,
                               QStringLiteral("Não foi possível entrar no token ") + token.label +
                                   QStringLiteral(" (") + f.detail + QStringLiteral(")."));
        throw RuntimeError(kError, kSource,
                           QStringLiteral("Módulo PKCS#11 ") + moduleName +
                               QStringLiteral(": não foi possível iniciar."));
    }
    // A login that shows nothing else says why rather than nothing.
    if (certificates.isEmpty() && !leftOut.isEmpty())
        throw RuntimeError(kError, kSource, leftOut);
    return certificates;
}

QStringList Pkcs11Source::registeredModuleNames() {
    QStringList names;
    try {
        for (const Module& m : registeredModules(ownModuleFolder(), std::chrono::seconds(10)))
            names.append(m.name);
    } catch (const RuntimeError&) {
        // The diagnostics name what they find; a list that cannot be read
        // shows as no module, and the listing itself reports why.
    }
    return names;
}
