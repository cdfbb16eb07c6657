// The user's certificate store: a folder of certificates the user imported
// (DER or PEM certificate files, or PKCS#12 ".pfx/.p12" files, of which only
// the certificate is kept). Each certificate is one PEM file named after the
// SHA-256 of its DER bytes, so importing the same certificate twice keeps one
// copy. No private key is ever written.
#pragma once

#include "base/RuntimeError.h"
#include "certificates/Certificate.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

class CertificateStore {
public:
    struct Entry {
        QString id; // file base name: SHA-256 of the DER bytes, lower-case hex
        Certificate certificate;
    };

    // folder: where the certificates live; created on the first import.
    explicit CertificateStore(QString folder);

    // The per-user store: QStandardPaths::AppDataLocation + "/certificados".
    static QString defaultFolder();

    const QString& folder() const { return m_folder; }

    // The stored certificates, by holder name (letter case ignored), then by
    // end of validity. Files that are not readable certificates are skipped.
    // A missing folder is an empty store. Throws RuntimeError when the folder
    // exists but cannot be listed.
    QList<Entry> list() const;

    // Picks the holder's certificate among several of one file (their
    // index), or nullopt to cancel the import.
    using ChooseCertificate = std::function<std::optional<qsizetype>(const QList<Certificate>&)>;

    // Whether bytes are a PKCS#12 file, whose import needs a password.
    static bool needsPassword(const QByteArray& bytes);

    // Reads the file and imports it (see importBytes). Throws
    // CertificateImportError with reason Unreadable when the file cannot be
    // read or is larger than a certificate file can be, and as importBytes.
    Entry importFile(const QString& path, const QString& password = {},
                     const ChooseCertificate& choose = {});

    // Imports a certificate: DER, PEM, PKCS#7 (".p7b", DER or PEM) or
    // PKCS#12 opened with password (the certificate that belongs to its key,
    // or, in a file without a key, its certificates). Of a bundle with a
    // chain, the holder's certificate is kept, not the authorities'; when the
    // bundle holds several holders, choose picks one (the first in the file
    // without it). Returns the stored entry. Throws CertificateImportError
    // (description in Portuguese, for the user) with reason WrongPassword
    // when the PKCS#12 password is wrong, NotACertificate when the bytes hold
    // no certificate, WriteFailed when the store cannot be written, Cancelled
    // (empty description) when choose returns nullopt.
    Entry importBytes(const QByteArray& bytes, const QString& password = {},
                      const ChooseCertificate& choose = {});

    // Deletes a stored certificate. Throws RuntimeError when its file exists
    // and cannot be deleted; an unknown id is not an error.
    void remove(const QString& id);

    // Largest file the import reads (certificate files are a few kilobytes).
    static constexpr qint64 kMaxFileSize = 1024 * 1024;

private:
    QString m_folder;
};

// An import that failed; description() is the text the user reads.
class CertificateImportError : public RuntimeError {
public:
    enum class Reason { Unreadable, NotACertificate, WrongPassword, WriteFailed, Cancelled };
    CertificateImportError(Reason reason, QString description);
    Reason reason() const { return m_reason; }

private:
    Reason m_reason;
};
