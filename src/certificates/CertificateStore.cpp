// The per-user certificate store over a folder of PEM files.
#include "certificates/CertificateStore.h"

#include "net/Enc64.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/pkcs7.h>
#include <openssl/provider.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <memory>
#include <utility>

namespace {

using Reason = CertificateImportError::Reason;

constexpr qint32 kStoreError = static_cast<qint32>(0x80040102u);

const QByteArray kPemBegin("-----BEGIN CERTIFICATE-----");
const QByteArray kPemEnd("-----END CERTIFICATE-----");

struct Free {
    void operator()(X509* p) const { X509_free(p); }
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
    void operator()(BIO* p) const { BIO_free(p); }
    void operator()(PKCS12* p) const { PKCS12_free(p); }
    void operator()(STACK_OF(X509) * p) const { sk_X509_pop_free(p, X509_free); }
    void operator()(PKCS7* p) const { PKCS7_free(p); }
};
template <typename T> using Ptr = std::unique_ptr<T, Free>;

CertificateImportError notACertificate() {
    return {Reason::NotACertificate,
            QStringLiteral("O arquivo não contém um certificado digital válido.")};
}

QByteArray toDer(X509* x) {
    unsigned char* out = nullptr;
    const int len = i2d_X509(x, &out);
    if (len <= 0)
        throw notACertificate();
    QByteArray der(reinterpret_cast<const char*>(out), len);
    OPENSSL_free(out);
    return der;
}

// A PKCS#12 file: the bytes decode as one completely.
Ptr<PKCS12> decodePkcs12(const QByteArray& bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const auto* start = p;
    Ptr<PKCS12> p12(d2i_PKCS12(nullptr, &p, static_cast<long>(bytes.size())));
    if (p12 && p - start != bytes.size())
        p12.reset();
    ERR_clear_error();
    return p12;
}

// Files exported by older tools encrypt with algorithms that OpenSSL 3 keeps
// in its legacy provider; load it (beside the default one) on first need and
// unload it when the program ends, so nothing of it outlives the program's own
// objects.
void loadLegacyAlgorithms() {
    struct Holder {
        OSSL_PROVIDER* provider = OSSL_PROVIDER_try_load(nullptr, "legacy", 1);
        ~Holder() {
            if (provider)
                OSSL_PROVIDER_unload(provider);
        }
    };
    static const Holder legacy;
}

// The certificate of the file's key; a file without a key (a certificate
// exported alone, or with its chain) gives all its certificates.
QList<QByteArray> certificatesOfPkcs12(PKCS12* p12, const QString& password) {
    const QByteArray pass = password.toUtf8();
    // An empty password may have been applied as no password at all.
    const bool macOk = !PKCS12_mac_present(p12) ||
                       PKCS12_verify_mac(p12, pass.constData(), static_cast<int>(pass.size())) ||
                       (pass.isEmpty() && PKCS12_verify_mac(p12, nullptr, 0));
    ERR_clear_error();
    if (!macOk)
        throw CertificateImportError(
            Reason::WrongPassword,
            QStringLiteral("Senha incorreta para o arquivo do certificado."));
    EVP_PKEY* key = nullptr;
    X509* cert = nullptr;
    STACK_OF(X509)* chain = nullptr;
    auto parse = [&] {
        return PKCS12_parse(p12, pass.constData(), &key, &cert, &chain) == 1;
    };
    bool ok = parse();
    if (!ok) {
        ERR_clear_error();
        loadLegacyAlgorithms();
        ok = parse();
    }
    ERR_clear_error();
    // The private key is released at once: the store keeps certificates only.
    Ptr<EVP_PKEY> keyOwner(key);
    Ptr<X509> certOwner(cert);
    Ptr<STACK_OF(X509)> chainOwner(chain);
    if (!ok)
        throw CertificateImportError(
            Reason::NotACertificate,
            QStringLiteral("Não foi possível abrir o arquivo do certificado com esta senha."));
    if (cert)
        return {toDer(cert)};
    QList<QByteArray> ders;
    for (int i = 0; chain && i < sk_X509_num(chain); ++i)
        ders.append(toDer(sk_X509_value(chain, i)));
    if (ders.isEmpty())
        throw notACertificate();
    return ders;
}

QList<QByteArray> certificatesOfPkcs7(PKCS7* p7) {
    QList<QByteArray> ders;
    STACK_OF(X509)* certs =
        p7 && PKCS7_type_is_signed(p7) && p7->d.sign ? p7->d.sign->cert : nullptr;
    for (int i = 0; certs && i < sk_X509_num(certs); ++i)
        ders.append(toDer(sk_X509_value(certs, i)));
    return ders;
}

// Every certificate of a PEM text: its CERTIFICATE blocks, or the
// certificates of a PKCS7 block (a ".p7b" saved as text).
QList<QByteArray> certificatesOfPem(const QByteArray& bytes) {
    QList<QByteArray> ders;
    Ptr<BIO> bio(BIO_new_mem_buf(bytes.constData(), static_cast<int>(bytes.size())));
    while (bio) {
        Ptr<X509> x(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
        if (!x)
            break;
        ders.append(toDer(x.get()));
    }
    ERR_clear_error();
    if (ders.isEmpty() && bytes.contains("-----BEGIN PKCS7-----")) {
        Ptr<BIO> again(BIO_new_mem_buf(bytes.constData(), static_cast<int>(bytes.size())));
        Ptr<PKCS7> p7(again ? PEM_read_bio_PKCS7(again.get(), nullptr, nullptr, nullptr) : nullptr);
        ERR_clear_error();
        ders = certificatesOfPkcs7(p7.get());
    }
    if (ders.isEmpty())
        throw notACertificate();
    return ders;
}

// A DER certificate, or a ".p7b" in DER.
QList<QByteArray> certificatesOfDer(const QByteArray& bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    Ptr<PKCS7> p7(d2i_PKCS7(nullptr, &p, static_cast<long>(bytes.size())));
    ERR_clear_error();
    const QList<QByteArray> ders = certificatesOfPkcs7(p7.get());
    return ders.isEmpty() ? QList<QByteArray>{bytes} : ders;
}

// The holders' certificates of a bundle: those that are no authority and
// sign no other certificate of the bundle. A bundle of authorities only is
// kept whole, so the user still gets a choice.
QList<QByteArray> holderCertificates(const QList<QByteArray>& ders) {
    std::vector<Ptr<X509>> certs;
    for (const QByteArray& der : ders) {
        const auto* p = reinterpret_cast<const unsigned char*>(der.constData());
        certs.emplace_back(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
    }
    ERR_clear_error();
    QList<QByteArray> holders;
    for (std::size_t i = 0; i < certs.size(); ++i) {
        if (!certs[i])
            continue;
        bool signsAnother = X509_check_ca(certs[i].get()) == 1;
        for (std::size_t j = 0; j < certs.size() && !signsAnother; ++j)
            signsAnother = j != i && certs[j] &&
                           X509_check_issued(certs[i].get(), certs[j].get()) == X509_V_OK;
        if (!signsAnother)
            holders.append(ders[static_cast<qsizetype>(i)]);
    }
    ERR_clear_error();
    return holders.isEmpty() ? ders : holders;
}

QByteArray pemText(const QByteArray& der) {
    const QByteArray base64 = der.toBase64();
    QByteArray out = kPemBegin + '\n';
    for (qsizetype i = 0; i < base64.size(); i += 64)
        out += base64.mid(i, 64) + '\n';
    out += kPemEnd + '\n';
    return out;
}

// DER bytes of a PEM file the store wrote: the Base64 between the markers,
// decoded as every certificate export is.
QByteArray derOfStoredPem(const QByteArray& pem) {
    const qsizetype begin = pem.indexOf(kPemBegin);
    const qsizetype end = pem.indexOf(kPemEnd);
    if (begin < 0 || end < begin)
        return {};
    const QByteArray body = pem.mid(begin + kPemBegin.size(), end - begin - kPemBegin.size());
    return Enc64::MyDecode(QString::fromLatin1(body.trimmed()));
}

QString idOf(const QByteArray& der) {
    return QString::fromLatin1(QCryptographicHash::hash(der, QCryptographicHash::Sha256).toHex());
}

} // namespace

CertificateImportError::CertificateImportError(Reason reason, QString description)
    : RuntimeError(kStoreError, QStringLiteral("Certificados"), std::move(description)),
      m_reason(reason) {}

CertificateStore::CertificateStore(QString folder) : m_folder(std::move(folder)) {}

QString CertificateStore::defaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/certificados");
}

QList<CertificateStore::Entry> CertificateStore::list() const {
    QList<Entry> entries;
    const QDir dir(m_folder);
    if (!dir.exists())
        return entries;
    if (!QFileInfo(m_folder).isReadable())
        throw RuntimeError(kStoreError, QStringLiteral("Certificados"),
                           QStringLiteral("Não foi possível ler a pasta de certificados ") +
                               QDir::toNativeSeparators(m_folder) + QLatin1Char('.'));
    const QFileInfoList files =
        dir.entryInfoList({QStringLiteral("*.pem")}, QDir::Files | QDir::Readable, QDir::Name);
    for (const QFileInfo& info : files) {
        if (info.size() > kMaxFileSize)
            continue;
        QFile file(info.filePath());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        try {
            const QByteArray der = derOfStoredPem(file.readAll());
            entries.append({info.completeBaseName(), parseCertificateDer(der)});
        } catch (const RuntimeError&) {
            // A damaged or foreign file is not a certificate of the store.
        }
    }
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        const int byName = QString::compare(a.certificate.holderName, b.certificate.holderName,
                                            Qt::CaseInsensitive);
        return byName != 0 ? byName < 0 : a.certificate.validTo < b.certificate.validTo;
    });
    return entries;
}

bool CertificateStore::needsPassword(const QByteArray& bytes) {
    return decodePkcs12(bytes) != nullptr;
}

CertificateStore::Entry CertificateStore::importFile(const QString& path, const QString& password,
                                                     const ChooseCertificate& choose) {
    QFile file(path);
    const QString name = QFileInfo(path).fileName();
    if (!file.open(QIODevice::ReadOnly))
        throw CertificateImportError(Reason::Unreadable,
                                     QStringLiteral("Não foi possível ler o arquivo ") + name +
                                         QLatin1Char('.'));
    if (file.size() > kMaxFileSize)
        throw CertificateImportError(
            Reason::Unreadable, QStringLiteral("O arquivo ") + name +
                                    QStringLiteral(" é grande demais para ser um certificado."));
    return importBytes(file.readAll(), password, choose);
}

CertificateStore::Entry CertificateStore::importBytes(const QByteArray& bytes,
                                                      const QString& password,
                                                      const ChooseCertificate& choose) {
    QList<QByteArray> ders;
    if (Ptr<PKCS12> p12 = decodePkcs12(bytes))
        ders = certificatesOfPkcs12(p12.get(), password);
    else if (bytes.contains("-----BEGIN "))
        ders = certificatesOfPem(bytes);
    else
        ders = certificatesOfDer(bytes);

    QList<Certificate> candidates;
    try {
        for (const QByteArray& holder : holderCertificates(ders))
            candidates.append(parseCertificateDer(holder));
    } catch (const RuntimeError&) {
        throw notACertificate();
    }
    qsizetype chosen = 0;
    if (candidates.size() > 1 && choose) {
        const std::optional<qsizetype> answer = choose(candidates);
        if (!answer || *answer < 0 || *answer >= candidates.size())
            throw CertificateImportError(Reason::Cancelled, QString());
        chosen = *answer;
    }
    const Certificate certificate = candidates[chosen];
    const QByteArray der = certificate.der;

    const QString id = idOf(der);
    const auto writeFailed = [this] {
        return CertificateImportError(Reason::WriteFailed,
                                      QStringLiteral("Não foi possível gravar o certificado na "
                                                     "pasta ") +
                                          QDir::toNativeSeparators(m_folder) + QLatin1Char('.'));
    };
    if (!QDir().mkpath(m_folder))
        throw writeFailed();
    QSaveFile file(QDir(m_folder).filePath(id + QStringLiteral(".pem")));
    if (!file.open(QIODevice::WriteOnly))
        throw writeFailed();
    file.write(pemText(der));
    if (!file.commit())
        throw writeFailed();
    return {id, certificate};
}

void CertificateStore::remove(const QString& id) {
    // Only a plain file name of the store: never a path that leads elsewhere.
    if (id.isEmpty() || id.contains(QLatin1Char('/')) || id.contains(QLatin1Char('\\')) ||
        id.startsWith(QLatin1Char('.')))
        return;
    QFile file(QDir(m_folder).filePath(id + QStringLiteral(".pem")));
    if (file.exists() && !file.remove())
        throw RuntimeError(kStoreError, QStringLiteral("Certificados"),
                           QStringLiteral("Não foi possível excluir o certificado: ") +
                               file.errorString());
}
