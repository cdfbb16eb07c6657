// Certificates made at test time with OpenSSL (see TestCertificates.h).
#include "TestCertificates.h"

#include <openssl/asn1.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/pkcs7.h>
#include <openssl/provider.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>
#include <stdexcept>

namespace dadav::test {
namespace {

struct Free {
    void operator()(X509* p) const { X509_free(p); }
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
    void operator()(X509_EXTENSION* p) const { X509_EXTENSION_free(p); }
    void operator()(ASN1_OCTET_STRING* p) const { ASN1_OCTET_STRING_free(p); }
    void operator()(BIO* p) const { BIO_free(p); }
    void operator()(PKCS12* p) const { PKCS12_free(p); }
    void operator()(OSSL_LIB_CTX* p) const { OSSL_LIB_CTX_free(p); }
    void operator()(PKCS7* p) const { PKCS7_free(p); }
    void operator()(STACK_OF(X509) * p) const { sk_X509_pop_free(p, X509_free); }
};
template <typename T> using Ptr = std::unique_ptr<T, Free>;

void check(bool ok, const char* what) {
    if (!ok)
        throw std::runtime_error(std::string("test certificate: ") + what);
}

void addEntry(X509_NAME* name, const char* field, const QString& value) {
    if (value.isEmpty())
        return;
    const QByteArray utf8 = value.toUtf8();
    check(X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8,
                                     reinterpret_cast<const unsigned char*>(utf8.constData()),
                                     static_cast<int>(utf8.size()), -1, 0) == 1,
          "name entry");
}

struct Made {
    Ptr<X509> cert;
    Ptr<EVP_PKEY> key;
};

void addExtension(X509* x, int nid, const QString& value) {
    const QByteArray text = value.toUtf8();
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, nullptr, x, nullptr, nullptr, 0);
    Ptr<X509_EXTENSION> ext(X509V3_EXT_conf_nid(nullptr, &ctx, nid, text.constData()));
    check(ext && X509_add_ext(x, ext.get(), -1) == 1, "extension");
}

// signer: the authority that signs (its subject becomes the issuer); the
// certificate signs itself when null.
Made make(const TestCertificateOptions& options, const Made* signer = nullptr) {
    Made m;
    m.key.reset(EVP_EC_gen("P-256"));
    check(m.key != nullptr, "key");
    m.cert.reset(X509_new());
    X509* x = m.cert.get();
    check(x && X509_set_version(x, 2) == 1, "version");
    check(ASN1_INTEGER_set(X509_get_serialNumber(x), options.serial) == 1, "serial");
    check(ASN1_TIME_set(X509_getm_notBefore(x), options.notBefore.toSecsSinceEpoch()) != nullptr,
          "notBefore");
    check(ASN1_TIME_set(X509_getm_notAfter(x), options.notAfter.toSecsSinceEpoch()) != nullptr,
          "notAfter");
    addEntry(X509_get_subject_name(x), "O", options.organization);
    addEntry(X509_get_subject_name(x), "CN", options.commonName);
    if (signer) {
        check(X509_set_issuer_name(x, X509_get_subject_name(signer->cert.get())) == 1, "issuer");
    } else {
        addEntry(X509_get_issuer_name(x), "O", options.organization);
        addEntry(X509_get_issuer_name(x), "CN", options.issuerName);
    }
    if (!options.subjectAltName.isEmpty())
        addExtension(x, NID_subject_alt_name, options.subjectAltName);
    if (options.authority)
        addExtension(x, NID_basic_constraints, QStringLiteral("critical,CA:TRUE"));
    check(X509_set_pubkey(x, m.key.get()) == 1, "public key");

    if (options.crl == CrlPoint::Url) {
        const QByteArray value = "URI:" + options.crlUrl.toUtf8();
        Ptr<X509_EXTENSION> ext(
            X509V3_EXT_conf_nid(nullptr, nullptr, NID_crl_distribution_points, value.constData()));
        check(ext && X509_add_ext(x, ext.get(), -1) == 1, "CRL distribution point");
    } else if (options.crl == CrlPoint::Malformed) {
        // An ASN.1 NULL where a SEQUENCE of distribution points belongs.
        static const unsigned char kNull[] = {0x05, 0x00};
        Ptr<ASN1_OCTET_STRING> data(ASN1_OCTET_STRING_new());
        check(data && ASN1_OCTET_STRING_set(data.get(), kNull, sizeof kNull) == 1, "octets");
        Ptr<X509_EXTENSION> ext(
            X509_EXTENSION_create_by_NID(nullptr, NID_crl_distribution_points, 0, data.get()));
        check(ext && X509_add_ext(x, ext.get(), -1) == 1, "malformed extension");
    }
    check(X509_sign(x, signer ? signer->key.get() : m.key.get(), EVP_sha256()) > 0, "signature");
    return m;
}

QByteArray toDer(X509* x) {
    unsigned char* out = nullptr;
    const int len = i2d_X509(x, &out);
    check(len > 0, "DER");
    QByteArray der(reinterpret_cast<const char*>(out), len);
    OPENSSL_free(out);
    return der;
}

QByteArray bioBytes(BIO* bio) {
    char* data = nullptr;
    const long len = BIO_get_mem_data(bio, &data);
    return QByteArray(data, static_cast<qsizetype>(len));
}

} // namespace

QByteArray makeCertificateDer(const TestCertificateOptions& options) {
    return toDer(make(options).cert.get());
}

QByteArray derToPem(const QByteArray& der) {
    const auto* p = reinterpret_cast<const unsigned char*>(der.constData());
    Ptr<X509> x(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
    check(x != nullptr, "parse DER");
    Ptr<BIO> bio(BIO_new(BIO_s_mem()));
    check(bio && PEM_write_bio_X509(bio.get(), x.get()) == 1, "PEM");
    return bioBytes(bio.get());
}

QByteArray makePkcs12(const TestCertificateOptions& options, const QString& password,
                      QByteArray* certificateDer, Pkcs12Encryption encryption) {
    Made m = make(options);
    const QByteArray pass = password.toUtf8();
    Ptr<PKCS12> p12;
    if (encryption == Pkcs12Encryption::Modern) {
        p12.reset(PKCS12_create(pass.constData(), "certificado", m.key.get(), m.cert.get(), nullptr,
                                0, 0, 0, 0, 0));
    } else {
        Ptr<OSSL_LIB_CTX> ctx(OSSL_LIB_CTX_new());
        check(ctx != nullptr, "library context");
        OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(ctx.get(), "legacy");
        OSSL_PROVIDER* base = OSSL_PROVIDER_load(ctx.get(), "default");
        check(legacy && base, "legacy provider");
        p12.reset(PKCS12_create_ex(pass.constData(), "certificado", m.key.get(), m.cert.get(),
                                   nullptr, NID_pbe_WithSHA1And3_Key_TripleDES_CBC,
                                   NID_pbe_WithSHA1And40BitRC2_CBC, 0, 0, 0, ctx.get(), nullptr));
        OSSL_PROVIDER_unload(legacy);
        OSSL_PROVIDER_unload(base);
    }
    check(p12 != nullptr, "PKCS#12");
    Ptr<BIO> bio(BIO_new(BIO_s_mem()));
    check(bio && i2d_PKCS12_bio(bio.get(), p12.get()) == 1, "PKCS#12 bytes");
    if (certificateDer)
        *certificateDer = toDer(m.cert.get());
    return bioBytes(bio.get());
}

namespace {

Ptr<STACK_OF(X509)> stackOf(const QList<QByteArray>& ders) {
    Ptr<STACK_OF(X509)> stack(sk_X509_new_null());
    check(stack != nullptr, "stack");
    for (const QByteArray& der : ders) {
        const auto* p = reinterpret_cast<const unsigned char*>(der.constData());
        X509* x = d2i_X509(nullptr, &p, static_cast<long>(der.size()));
        check(x && sk_X509_push(stack.get(), x) > 0, "stack entry");
    }
    return stack;
}

} // namespace

TestChain makeChain(const TestCertificateOptions& holder, const QString& authorityName) {
    TestCertificateOptions ca;
    ca.commonName = authorityName;
    ca.organization = QStringLiteral("ICP-Brasil");
    ca.issuerName = authorityName;
    ca.serial = 100;
    ca.authority = true;
    const Made authority = make(ca);
    const Made leaf = make(holder, &authority);
    Ptr<PKCS12> p12(PKCS12_create("1234", "certificado", leaf.key.get(), leaf.cert.get(), nullptr,
                                  0, 0, 0, 0, 0));
    check(p12 != nullptr, "PKCS#12");
    Ptr<BIO> bio(BIO_new(BIO_s_mem()));
    check(bio && i2d_PKCS12_bio(bio.get(), p12.get()) == 1, "PKCS#12 bytes");
    return {toDer(authority.cert.get()), toDer(leaf.cert.get()), bioBytes(bio.get())};
}

QByteArray makeKeylessPkcs12(const QList<QByteArray>& ders, const QString& password) {
    Ptr<STACK_OF(X509)> stack = stackOf(ders);
    const QByteArray pass = password.toUtf8();
    Ptr<PKCS12> p12(
        PKCS12_create(pass.constData(), nullptr, nullptr, nullptr, stack.get(), 0, 0, 0, 0, 0));
    check(p12 != nullptr, "key-less PKCS#12");
    Ptr<BIO> bio(BIO_new(BIO_s_mem()));
    check(bio && i2d_PKCS12_bio(bio.get(), p12.get()) == 1, "PKCS#12 bytes");
    return bioBytes(bio.get());
}

QByteArray makePkcs7(const QList<QByteArray>& ders, bool pem) {
    Ptr<STACK_OF(X509)> stack = stackOf(ders);
    Ptr<PKCS7> p7(PKCS7_new());
    check(p7 && PKCS7_set_type(p7.get(), NID_pkcs7_signed) == 1 &&
              PKCS7_content_new(p7.get(), NID_pkcs7_data) == 1,
          "PKCS#7");
    for (int i = 0; i < sk_X509_num(stack.get()); ++i)
        check(PKCS7_add_certificate(p7.get(), sk_X509_value(stack.get(), i)) == 1, "PKCS#7 entry");
    Ptr<BIO> bio(BIO_new(BIO_s_mem()));
    check(bio && (pem ? PEM_write_bio_PKCS7(bio.get(), p7.get())
                      : i2d_PKCS7_bio(bio.get(), p7.get())) == 1,
          "PKCS#7 bytes");
    return bioBytes(bio.get());
}

} // namespace dadav::test
