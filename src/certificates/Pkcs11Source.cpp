// Reading certificate objects from PKCS#11 modules with p11-kit. Modules are
// loaded "managed" by p11-kit, so a listing still running after its time-out
// and a later one in the same process do not disturb each other.
#include "certificates/Pkcs11Source.h"

#include "base/RuntimeError.h"

#include <p11-kit/p11-kit.h>

#include <QFileInfo>

#include <cstdlib>
#include <vector>

namespace {

const QString kSource = QStringLiteral("Token");
constexpr qint32 kError = static_cast<qint32>(0x80040100u);

struct Module {
    CK_FUNCTION_LIST* f = nullptr;
    QString name;
    QString path;
};

QString takeString(char* text) {
    const QString s = text ? QString::fromUtf8(text) : QString();
    std::free(text);
    return s;
}

QString moduleName(CK_FUNCTION_LIST* f, const QString& fallback) {
    const QString registered = takeString(p11_kit_module_get_name(f));
    return registered.isEmpty() ? fallback : registered;
}

bool holdsTrustAnchors(CK_FUNCTION_LIST* f) {
    return takeString(p11_kit_config_option(f, "trust-policy")) == QLatin1String("yes");
}

QString errorText(CK_RV rv) {
    return QString::fromUtf8(p11_kit_strerror(rv));
}

// Module files loaded and started; those that failed are named in failures.
// Release with releaseModules.
class LoadedModules {
public:
    LoadedModules(const QStringList& paths, QStringList& failures) {
        if (paths.isEmpty()) {
            m_registry = p11_kit_modules_load(nullptr, 0);
            if (!m_registry) {
                failures.append(QStringLiteral("Módulos PKCS#11 do sistema: ") +
                                QString::fromUtf8(p11_kit_message() ? p11_kit_message() : ""));
                return;
            }
            for (CK_FUNCTION_LIST** m = m_registry; *m; ++m) {
                if (holdsTrustAnchors(*m))
                    continue;
                const QString path = takeString(p11_kit_module_get_filename(*m));
                start(*m, moduleName(*m, QFileInfo(path).fileName()), path, failures);
            }
            return;
        }
        for (const QString& path : paths) {
            const QString fallback = QFileInfo(path).fileName();
            CK_FUNCTION_LIST* f = p11_kit_module_load(QFile::encodeName(path).constData(), 0);
            if (!f) {
                failures.append(QStringLiteral("Módulo PKCS#11 ") + fallback +
                                QStringLiteral(": não foi possível carregar o arquivo ") + path +
                                QLatin1Char('.'));
                continue;
            }
            m_loaded.push_back(f);
            start(f, moduleName(f, fallback), path, failures);
        }
    }
    ~LoadedModules() {
        for (const Module& m : m_started)
            p11_kit_module_finalize(m.f);
        for (CK_FUNCTION_LIST* f : m_loaded)
            p11_kit_module_release(f);
        if (m_registry)
            p11_kit_modules_release(m_registry);
    }
    LoadedModules(const LoadedModules&) = delete;
    LoadedModules& operator=(const LoadedModules&) = delete;

    const std::vector<Module>& modules() const { return m_started; }

private:
    void start(CK_FUNCTION_LIST* f, const QString& name, const QString& path,
               QStringList& failures) {
        const CK_RV rv = p11_kit_module_initialize(f);
        if (rv != CKR_OK) {
            failures.append(QStringLiteral("Módulo PKCS#11 ") + name +
                            QStringLiteral(": não foi possível iniciar (") + errorText(rv) +
                            QStringLiteral(")."));
            return;
        }
        m_started.push_back({f, name, path});
    }

    CK_FUNCTION_LIST** m_registry = nullptr;
    std::vector<CK_FUNCTION_LIST*> m_loaded;
    std::vector<Module> m_started;
};

class Session {
public:
    Session(CK_FUNCTION_LIST* f, CK_SLOT_ID slot) : m_f(f) {
        m_rv = f->C_OpenSession(slot, CKF_SERIAL_SESSION, nullptr, nullptr, &m_handle);
    }
    ~Session() {
        if (m_rv == CKR_OK)
            m_f->C_CloseSession(m_handle);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    CK_RV status() const { return m_rv; }
    CK_SESSION_HANDLE handle() const { return m_handle; }

private:
    CK_FUNCTION_LIST* m_f;
    CK_SESSION_HANDLE m_handle = 0;
    CK_RV m_rv = CKR_GENERAL_ERROR;
};

QList<QByteArray> certificateValues(CK_FUNCTION_LIST* f, CK_SESSION_HANDLE session) {
    CK_OBJECT_CLASS klass = CKO_CERTIFICATE;
    CK_CERTIFICATE_TYPE type = CKC_X_509;
    CK_ATTRIBUTE query[] = {{CKA_CLASS, &klass, sizeof klass},
                            {CKA_CERTIFICATE_TYPE, &type, sizeof type}};
    std::vector<CK_OBJECT_HANDLE> objects;
    if (f->C_FindObjectsInit(session, query, 2) != CKR_OK)
        return {};
    for (;;) {
        CK_OBJECT_HANDLE batch[32];
        CK_ULONG found = 0;
        if (f->C_FindObjects(session, batch, 32, &found) != CKR_OK || found == 0)
            break;
        objects.insert(objects.end(), batch, batch + found);
    }
    f->C_FindObjectsFinal(session);
    QList<QByteArray> values;
    for (const CK_OBJECT_HANDLE object : objects) {
        CK_ATTRIBUTE value = {CKA_VALUE, nullptr, 0};
        if (f->C_GetAttributeValue(session, object, &value, 1) != CKR_OK ||
            value.ulValueLen == CK_UNAVAILABLE_INFORMATION || value.ulValueLen == 0)
            continue;
        QByteArray der(static_cast<qsizetype>(value.ulValueLen), Qt::Uninitialized);
        value.pValue = der.data();
        if (f->C_GetAttributeValue(session, object, &value, 1) == CKR_OK)
            values.append(der.left(static_cast<qsizetype>(value.ulValueLen)));
    }
    return values;
}

QString tokenLabel(const CK_TOKEN_INFO& info) {
    return takeString(p11_kit_space_strdup(info.label, sizeof info.label));
}

QString originOf(const QString& label, const QString& module) {
    return QStringLiteral("Token ") + label + QStringLiteral(" (") + module + QLatin1Char(')');
}

// The end-entity certificates among values; undecodable objects are skipped.
void appendCertificates(const QList<QByteArray>& values, const QString& origin,
                        QList<SourcedCertificate>& out) {
    for (const QByteArray& der : values) {
        const HolderDocuments documents = readHolderDocuments(der);
        if (documents.isAuthority)
            continue;
        try {
            out.append({parseCertificateDer(der), documents, origin, QString()});
        } catch (const RuntimeError&) {
            // An object that is not a readable certificate is no choice for
            // the user; the token's other certificates still list.
        }
    }
}

std::vector<CK_SLOT_ID> slotsWithToken(CK_FUNCTION_LIST* f) {
    CK_ULONG count = 0;
    if (f->C_GetSlotList(CK_TRUE, nullptr, &count) != CKR_OK)
        return {};
    std::vector<CK_SLOT_ID> ids(count);
    if (count && f->C_GetSlotList(CK_TRUE, ids.data(), &count) != CKR_OK)
        return {};
    ids.resize(count);
    return ids;
}

} // namespace

Pkcs11Source::Pkcs11Source(QStringList modulePaths) : m_modulePaths(std::move(modulePaths)) {}

QString Pkcs11Source::name() const {
    return QStringLiteral("Tokens e cartões (PKCS#11)");
}

CertificateListing Pkcs11Source::list() const {
    CertificateListing listing;
    LoadedModules loaded(m_modulePaths, listing.failures);
    for (const Module& m : loaded.modules()) {
        for (const CK_SLOT_ID slot : slotsWithToken(m.f)) {
            CK_TOKEN_INFO info{};
            // A reader's empty token (or SoftHSM's free slot) has nothing to list.
            if (m.f->C_GetTokenInfo(slot, &info) != CKR_OK || !(info.flags & CKF_TOKEN_INITIALIZED))
                continue;
            const QString label = tokenLabel(info);
            const QString origin = originOf(label, m.name);
            Session session(m.f, slot);
            if (session.status() != CKR_OK) {
                listing.failures.append(origin + QStringLiteral(": não foi possível abrir (") +
                                        errorText(session.status()) + QStringLiteral(")."));
                continue;
            }
            const qsizetype before = listing.certificates.size();
            appendCertificates(certificateValues(m.f, session.handle()), origin,
                               listing.certificates);
            if (listing.certificates.size() == before && (info.flags & CKF_LOGIN_REQUIRED))
                listing.loginTokens.append(
                    {m.path, static_cast<unsigned long>(slot), label, origin});
        }
    }
    return listing;
}

QList<SourcedCertificate> Pkcs11Source::listAfterLogin(const LoginToken& token,
                                                       const QString& pin) {
    QStringList failures;
    LoadedModules loaded({token.modulePath}, failures);
    if (loaded.modules().empty())
        throw RuntimeError(kError, kSource, failures.value(0));
    CK_FUNCTION_LIST* f = loaded.modules().front().f;
    Session session(f, token.slotId);
    if (session.status() != CKR_OK)
        throw RuntimeError(kError, kSource,
                           QStringLiteral("O token ") + token.label +
                               QStringLiteral(" não está mais presente."));
    QByteArray secret = pin.toUtf8();
    const CK_RV rv =
        f->C_Login(session.handle(), CKU_USER, reinterpret_cast<CK_UTF8CHAR_PTR>(secret.data()),
                   static_cast<CK_ULONG>(secret.size()));
    secret.fill('\0');
    if (rv == CKR_PIN_INCORRECT || rv == CKR_PIN_INVALID || rv == CKR_PIN_LEN_RANGE)
        throw RuntimeError(kError, kSource,
                           QStringLiteral("PIN incorreto para o token ") + token.label +
                               QLatin1Char('.'));
    if (rv == CKR_PIN_LOCKED)
        throw RuntimeError(kError, kSource,
                           QStringLiteral("O PIN do token ") + token.label +
                               QStringLiteral(" está bloqueado."));
    if (rv != CKR_OK && rv != CKR_USER_ALREADY_LOGGED_IN)
        throw RuntimeError(kError, kSource,
                           QStringLiteral("Não foi possível entrar no token ") + token.label +
                               QStringLiteral(" (") + errorText(rv) + QStringLiteral(")."));
    QList<SourcedCertificate> certificates;
    appendCertificates(certificateValues(f, session.handle()), token.origin, certificates);
    f->C_Logout(session.handle());
    return certificates;
}

QStringList Pkcs11Source::registeredModuleNames() {
    QStringList names;
    CK_FUNCTION_LIST** modules = p11_kit_modules_load(nullptr, 0);
    if (!modules)
        return names;
    for (CK_FUNCTION_LIST** m = modules; *m; ++m)
        if (!holdsTrustAnchors(*m))
            names.append(moduleName(*m, takeString(p11_kit_module_get_filename(*m))));
    p11_kit_modules_release(modules);
    return names;
}
