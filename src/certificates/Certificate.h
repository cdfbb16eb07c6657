// A digital certificate as the certificate step sees it: its DER bytes, the
// validity window in local time, the holder and issuer as one-line text and
// its CRL distribution points; plus the checks run on it before an access key
// is asked for or a declaration is sent (document match, validity on the
// server's date, reading the distribution points).
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

struct Certificate {
    QByteArray der;      // the certificate's DER encoding, byte for byte
    QDateTime validFrom; // notBefore, local time, whole seconds
    QDateTime validTo;   // notAfter, local time, whole seconds
    QString subject;     // one line, "CN = ..., O = ..." (UTF-8 names kept readable)
    QString issuer;      // same form as subject
    // The serial number in upper-case hexadecimal ("01", "7A3B...", "-" in
    // front of a negative one); tells apart certificates of one holder
    // issued for the same dates.
    QString serialNumber;
    bool hasCrlDistributionPoints = false; // extension 2.5.29.31 present
    // The holder's common name (the subject's last CN), empty when it has none;
    // what a list of certificates shows first.
    QString holderName;
    // The issuer's common name, read the same way; what a list shows of who
    // issued it (the whole issuer line is too long for a column).
    QString issuerName;
    // URLs of the distribution points (full names of kind URI), in order. Empty
    // when the extension is absent or cannot be decoded.
    QStringList crlUrls;
};

// Parses one DER-encoded X.509 certificate. Trailing bytes after the
// certificate are refused. Throws RuntimeError (source "Certificado") when the
// bytes are not a certificate or a validity date cannot be read.
Certificate parseCertificateDer(const QByteArray& der);

// Whether the certificate belongs to the taxpayer or to the accountant: either
// document occurs in the DER bytes read as Latin-1 text, letter case ignored.
// An empty document counts as occurring, so an empty taxpayer or accountant
// document accepts every certificate. The caller removes the punctuation from
// the documents first.
bool certificateMatches(const QByteArray& der, const QString& taxpayerDocument,
                        const QString& accountantDocument);

// Whether serverDate lies inside the certificate's validity window, both ends
// included. An invalid server date or validity date is never valid.
bool certificateValidAt(const Certificate& certificate, const QDateTime& serverDate);

// The distribution-point routine run when a certificate carries extension
// 2.5.29.31: reads the extension's URLs from the DER bytes again. Returns the
// empty text when they were read (or the certificate has no such extension),
// else the message to show in an OK box without title:
// "Could not retrieve the URLs from the CDP extension: 0x" + error code in
// upper-case hexadecimal. The URLs are not used further. Never throws.
QString VerificarCDP(const Certificate& certificate);
