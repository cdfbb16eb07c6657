// Test helper: makes certificates at test time with OpenSSL, so no key or
// certificate file lives in the repository. Each certificate is self-signed
// with a fresh P-256 key; its subject carries the given holder text (put the
// CNPJ or CPF digits in it), its validity is the window asked for, and it may
// carry a CRL distribution point (well-formed or deliberately undecodable).
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

namespace dadav::test {

enum class CrlPoint {
    None,     // no extension 2.5.29.31
    Url,      // one distribution point with `crlUrl`
    Malformed // the extension is present but its contents are not decodable
};

struct TestCertificateOptions {
    // Subject common name, e.g. "PADARIA SAO JOAO LTDA:11222333000181".
    QString commonName = QStringLiteral("EMPRESA TESTE LTDA:11222333000181");
    QString organization = QStringLiteral("ICP-Brasil");
    QString issuerName = QStringLiteral("AC Teste de Valdoria");
    long serial = 1;
    // Validity, whole seconds (any time zone; stored as UTC).
    QDateTime notBefore = QDateTime::currentDateTimeUtc().addDays(-30);
    QDateTime notAfter = QDateTime::currentDateTimeUtc().addDays(335);
    CrlPoint crl = CrlPoint::None;
    QString crlUrl = QStringLiteral("http://127.0.0.1/ac-teste.crl");
    // Subject alternative name in OpenSSL's configuration syntax, e.g.
    // "otherName:2.16.76.1.3.3;PRINTABLESTRING:11222333000181"; none when empty.
    QString subjectAltName;
    // An authority's certificate (basic constraints CA:TRUE).
    bool authority = false;
};

// DER bytes of a new certificate. Throws std::runtime_error when OpenSSL fails.
QByteArray makeCertificateDer(const TestCertificateOptions& options = {});

// The same certificate as PEM text ("-----BEGIN CERTIFICATE-----").
QByteArray derToPem(const QByteArray& der);

// How a PKCS#12 file is encrypted: OpenSSL 3's defaults (AES, PBKDF2), or the
// RC2/3DES scheme of older exporting tools, which OpenSSL keeps in its legacy
// provider (made here with a private library context, so the process's own
// context is left as it was).
enum class Pkcs12Encryption { Modern, Legacy };

// A PKCS#12 file holding a new certificate and its private key, protected by
// password; the certificate's DER bytes go to *certificateDer when given.
// Throws std::runtime_error when OpenSSL fails.
QByteArray makePkcs12(const TestCertificateOptions& options, const QString& password,
                      QByteArray* certificateDer = nullptr,
                      Pkcs12Encryption encryption = Pkcs12Encryption::Modern);

// A chain as issuers hand it out: an authority's certificate and a holder's
// certificate it signed (issuer name = the authority's subject).
struct TestChain {
    QByteArray authorityDer;
    QByteArray holderDer;
    QByteArray holderPkcs12; // the holder's certificate and key, password "1234"
};
TestChain makeChain(const TestCertificateOptions& holder, const QString& authorityName);

// A PKCS#12 file holding certificates only (no key), password protected.
QByteArray makeKeylessPkcs12(const QList<QByteArray>& ders, const QString& password);

// A PKCS#7 "certs-only" bundle of ders (DER encoding; pem for its PEM text).
QByteArray makePkcs7(const QList<QByteArray>& ders, bool pem);

} // namespace dadav::test
