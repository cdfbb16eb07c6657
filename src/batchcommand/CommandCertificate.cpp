// The command line's certificate.
#include "batchcommand/CommandCertificate.h"

#include "base/RuntimeError.h"
#include "certificates/CertificateSources.h"
#include "certificates/CertificateStore.h"
#include "certificates/Pkcs11Source.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>

namespace CommandCertificate {

namespace {

QString digits(const QString& text) {
    QString out;
    for (const QChar c : text)
        if (c.isDigit())
            out += c;
    return out;
}

// A serial number as the listings give it: upper-case hexadecimal without
// separators or leading zeros.
QString serialKey(QString text) {
    text = text.toUpper().remove(QLatin1Char(':')).remove(QLatin1Char(' '));
    while (text.size() > 1 && text.startsWith(QLatin1Char('0')))
        text.remove(0, 1);
    return text;
}

} // namespace

std::optional<Certificate> find(const QString& given, const std::function<QString()>& readSecret,
                                QString* why) {
    if (QFileInfo(given).isFile()) {
        QFile file(given);
        if (!file.open(QIODevice::ReadOnly) || file.size() > CertificateStore::kMaxFileSize) {
            *why = QStringLiteral("Não foi possível ler o certificado %1.").arg(given);
            return std::nullopt;
        }
        const QByteArray bytes = file.readAll();
        const QString password = CertificateStore::needsPassword(bytes) ? readSecret() : QString();
        // Read through the import, into a store of its own that goes away:
        // the user's store is not changed by a script.
        QTemporaryDir scratch;
        try {
            return CertificateStore(scratch.path()).importBytes(bytes, password).certificate;
        } catch (const RuntimeError& error) {
            *why = error.description();
            return std::nullopt;
        }
    }

    const std::chrono::seconds timeout(10);
    const CertificateListing listing = listCertificates(
        defaultCertificateSources(CertificateStore::defaultFolder(), QDir::homePath(), timeout),
        timeout);
    const QString wantedSerial = serialKey(given);
    const QString wantedDocument = digits(given);
    const auto pick = [&](const QList<SourcedCertificate>& certificates) {
        std::optional<Certificate> found;
        for (const SourcedCertificate& s : certificates) {
            const bool bySerial = serialKey(s.certificate.serialNumber) == wantedSerial;
            const bool byDocument =
                !wantedDocument.isEmpty() &&
                (s.documents.cpf == wantedDocument || s.documents.cnpj == wantedDocument);
            // Of several, the one valid longest.
            if ((bySerial || byDocument) && (!found || s.certificate.validTo > found->validTo))
                found = s.certificate;
        }
        return found;
    };
    std::optional<Certificate> found = pick(listing.certificates);
    // A token that shows its certificates only after the PIN is opened with
    // the line read, as a certificate file's password is. Only when exactly
    // one token waits: the same PIN tried on another card would count as a
    // wrong try there, and a few of those lock a card.
    if (!found && listing.loginTokens.size() == 1) {
        try {
            found =
                pick(Pkcs11Source::listAfterLogin(listing.loginTokens[0], readSecret(), timeout));
        } catch (const RuntimeError& error) {
            *why = error.description();
            return std::nullopt;
        }
    }
    if (!found) {
        *why = QStringLiteral("Nenhum certificado com o número de série ou o documento %1 foi "
                              "encontrado.")
                   .arg(given);
        if (listing.loginTokens.size() > 1) {
            QStringList labels;
            for (const LoginToken& token : listing.loginTokens)
                labels << token.label;
            *why += QStringLiteral(" Os tokens %1 pedem o PIN; deixe conectado só o do "
                                   "certificado.")
                        .arg(labels.join(QStringLiteral(", ")));
        }
        for (const QString& failure : listing.failures)
            *why += QLatin1Char('\n') + failure;
    }
    return found;
}

} // namespace CommandCertificate
