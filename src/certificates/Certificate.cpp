// Certificate parsing with OpenSSL and the checks of the certificate step.
#include "certificates/Certificate.h"

#include "base/RuntimeError.h"
#include "certificates/CertificateMessages.h"

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <QTimeZone>

#include <ctime>
#include <memory>

namespace {

// Number of the errors raised here (first application error number + 0x100).
constexpr qint32 kErrorNumber = static_cast<qint32>(0x80040100u);

// Code shown when the distribution points cannot be read and OpenSSL left no
// error code of its own: "object not found".
constexpr quint32 kCdpNotFound = 0x80092004u;

struct X509Free {
    void operator()(X509* x) const { X509_free(x); }
};
struct BioFree {
    void operator()(BIO* b) const { BIO_free(b); }
};
struct BignumFree {
    void operator()(BIGNUM* n) const { BN_free(n); }
};
struct DistPointsFree {
    void operator()(CRL_DIST_POINTS* p) const { CRL_DIST_POINTS_free(p); }
};
using X509Ptr = std::unique_ptr<X509, X509Free>;

RuntimeError notACertificate() {
    return RuntimeError(kErrorNumber, QStringLiteral("Certificado"),
                        QStringLiteral("O arquivo não contém um certificado digital válido."));
}

// The certificate in der, or null when the bytes are not exactly one
// certificate.
X509Ptr decode(const QByteArray& der) {
    if (der.isEmpty())
        return nullptr;
    const auto* p = reinterpret_cast<const unsigned char*>(der.constData());
    const auto* start = p;
    X509Ptr x(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
    if (x && p - start != der.size())
        return nullptr;
    return x;
}

QDateTime localTime(const ASN1_TIME* t) {
    std::tm tm{};
    if (!t || ASN1_TIME_to_tm(t, &tm) != 1)
        return {};
    const QDate date(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
    const QTime time(tm.tm_hour, tm.tm_min, tm.tm_sec);
    const QDateTime utc(date, time, QTimeZone::utc());
    return utc.isValid() ? utc.toLocalTime() : QDateTime();
}

QString oneLine(const X509_NAME* name) {
    std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
    if (!bio || !name)
        return {};
    // One line, "CN = ..., O = ...": multi-byte names stay UTF-8 instead of
    // being escaped, so accented holder names read as written.
    const unsigned long flags =
        (XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB) | ASN1_STRFLGS_UTF8_CONVERT;
    if (X509_NAME_print_ex(bio.get(), name, 0, flags) < 0)
        return {};
    char* data = nullptr;
    const long len = BIO_get_mem_data(bio.get(), &data);
    return QString::fromUtf8(data, static_cast<qsizetype>(len));
}

QString serialHex(const ASN1_INTEGER* serial) {
    std::unique_ptr<BIGNUM, BignumFree> number(ASN1_INTEGER_to_BN(serial, nullptr));
    if (!number)
        return {};
    char* hex = BN_bn2hex(number.get());
    if (!hex)
        return {};
    QString text = QString::fromLatin1(hex);
    OPENSSL_free(hex);
    return text;
}

QString commonName(const X509_NAME* name) {
    int last = -1;
    for (int i = X509_NAME_get_index_by_NID(name, NID_commonName, -1); i >= 0;
         i = X509_NAME_get_index_by_NID(name, NID_commonName, i))
        last = i;
    if (last < 0)
        return {};
    const ASN1_STRING* value = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, last));
    unsigned char* utf8 = nullptr;
    const int len = ASN1_STRING_to_UTF8(&utf8, value);
    if (len < 0)
        return {};
    QString text = QString::fromUtf8(reinterpret_cast<const char*>(utf8), len);
    OPENSSL_free(utf8);
    return text;
}

// The URLs of the distribution-point extension. Returns false (and sets
// errorCode) when the extension is present but cannot be decoded.
bool readCrlUrls(X509* x, QStringList& urls, quint32& errorCode) {
    urls.clear();
    ERR_clear_error();
    int critical = 0;
    std::unique_ptr<CRL_DIST_POINTS, DistPointsFree> points(static_cast<CRL_DIST_POINTS*>(
        X509_get_ext_d2i(x, NID_crl_distribution_points, &critical, nullptr)));
    if (!points) {
        // critical: -1 absent, -2 present more than once, else present but
        // not decodable.
        if (critical == -1)
            return true;
        const unsigned long err = ERR_get_error();
        errorCode = err != 0 ? static_cast<quint32>(err) : kCdpNotFound;
        ERR_clear_error();
        return false;
    }
    for (int i = 0; i < sk_DIST_POINT_num(points.get()); ++i) {
        const DIST_POINT* point = sk_DIST_POINT_value(points.get(), i);
        if (!point || !point->distpoint || point->distpoint->type != 0)
            continue;
        const GENERAL_NAMES* names = point->distpoint->name.fullname;
        for (int j = 0; j < sk_GENERAL_NAME_num(names); ++j) {
            const GENERAL_NAME* gn = sk_GENERAL_NAME_value(names, j);
            if (gn->type != GEN_URI)
                continue;
            const ASN1_IA5STRING* uri = gn->d.uniformResourceIdentifier;
            urls << QString::fromLatin1(reinterpret_cast<const char*>(ASN1_STRING_get0_data(uri)),
                                        ASN1_STRING_length(uri));
        }
    }
    return true;
}

} // namespace

Certificate parseCertificateDer(const QByteArray& der) {
    X509Ptr x = decode(der);
    if (!x) {
        ERR_clear_error();
        throw notACertificate();
    }
    Certificate c;
    c.der = der;
    c.validFrom = localTime(X509_get0_notBefore(x.get()));
    c.validTo = localTime(X509_get0_notAfter(x.get()));
    if (!c.validFrom.isValid() || !c.validTo.isValid())
        throw notACertificate();
    c.subject = oneLine(X509_get_subject_name(x.get()));
    c.issuer = oneLine(X509_get_issuer_name(x.get()));
    c.serialNumber = serialHex(X509_get0_serialNumber(x.get()));
    c.holderName = commonName(X509_get_subject_name(x.get()));
    c.issuerName = commonName(X509_get_issuer_name(x.get()));
    c.hasCrlDistributionPoints = X509_get_ext_by_NID(x.get(), NID_crl_distribution_points, -1) >= 0;
    quint32 ignored = 0;
    readCrlUrls(x.get(), c.crlUrls, ignored);
    return c;
}

bool certificateMatches(const QByteArray& der, const QString& taxpayerDocument,
                        const QString& accountantDocument) {
    if (taxpayerDocument.isEmpty() || accountantDocument.isEmpty())
        return true;
    const QString text = QString::fromLatin1(der);
    return text.contains(taxpayerDocument, Qt::CaseInsensitive) ||
           text.contains(accountantDocument, Qt::CaseInsensitive);
}

bool certificateValidAt(const Certificate& certificate, const QDateTime& serverDate) {
    if (!serverDate.isValid() || !certificate.validFrom.isValid() || !certificate.validTo.isValid())
        return false;
    return serverDate >= certificate.validFrom && serverDate <= certificate.validTo;
}

QString VerificarCDP(const Certificate& certificate) {
    X509Ptr x = decode(certificate.der);
    if (!x) {
        const unsigned long err = ERR_get_error();
        ERR_clear_error();
        return CertificateMessages::cdpFailure(err != 0 ? static_cast<quint32>(err) : kCdpNotFound);
    }
    QStringList urls;
    quint32 code = 0;
    if (!readCrlUrls(x.get(), urls, code))
        return CertificateMessages::cdpFailure(code);
    return {};
}
