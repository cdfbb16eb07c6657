// Merging the same certificate found in several places, and the short texts.
#include "certificates/CertificateRows.h"

#include <QHash>

QList<SourcedCertificate> mergeSameCertificates(const QList<SourcedCertificate>& certificates) {
    QList<SourcedCertificate> merged;
    QHash<QByteArray, qsizetype> seen; // DER bytes -> row in merged
    for (const SourcedCertificate& c : certificates) {
        const auto it = seen.constFind(c.certificate.der);
        if (it == seen.cend()) {
            seen.insert(c.certificate.der, merged.size());
            merged.append(c);
            continue;
        }
        SourcedCertificate& first = merged[*it];
        if (!c.origin.isEmpty() && !first.origin.split(QStringLiteral(", ")).contains(c.origin))
            first.origin += (first.origin.isEmpty() ? QString() : QStringLiteral(", ")) + c.origin;
        if (first.storeId.isEmpty())
            first.storeId = c.storeId;
    }
    return merged;
}

QList<SourcedCertificate> ownFolderRows(const QList<CertificateStore::Entry>& entries) {
    QList<SourcedCertificate> out;
    for (const CertificateStore::Entry& e : entries)
        out.append({e.certificate, readHolderDocuments(e.certificate.der),
                    QStringLiteral("Pasta do programa"), e.id});
    return out;
}

QString holderText(const Certificate& certificate) {
    return certificate.holderName.isEmpty() ? certificate.subject : certificate.holderName;
}

QString shortSerial(const QString& serialNumber) {
    if (serialNumber.size() <= kSerialShownDigits)
        return serialNumber;
    return QStringLiteral("…") + serialNumber.right(kSerialShownDigits);
}
