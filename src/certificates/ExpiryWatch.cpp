// Matching holders to certificates and wording the start-up notice.
#include "certificates/ExpiryWatch.h"

#include "certificates/CertificateExpiry.h"
#include "validation/DigitString.h"

namespace {

QString daysPhrase(int days) {
    if (days < 0)
        return QStringLiteral("expirou");
    if (days == 0)
        return QStringLiteral("vence hoje");
    return days == 1
               ? QStringLiteral("vence em 1 dia")
               : QStringLiteral("vence em ") + QString::number(days) + QStringLiteral(" dias");
}

// "NAME:11222333000181" -> "11222333000181"; empty without such a suffix.
QString commonNameDigits(const QString& commonName) {
    const qsizetype colon = commonName.lastIndexOf(QLatin1Char(':'));
    if (colon < 0)
        return {};
    const QString suffix = commonName.mid(colon + 1).trimmed();
    for (const QChar c : suffix)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return {};
    return suffix;
}

} // namespace

bool isHoldersCertificate(const SourcedCertificate& certificate, const QString& documentDigits) {
    if (documentDigits.isEmpty())
        return false;
    const HolderDocuments& d = certificate.documents;
    if (!d.cnpj.isEmpty() || !d.cpf.isEmpty())
        return documentDigits == d.cnpj || documentDigits == d.cpf;
    return documentDigits == commonNameDigits(certificate.certificate.holderName);
}

QList<WatchRow> watchHolders(const QList<WatchedHolder>& holders,
                             const QList<SourcedCertificate>& certificates, const QDate& today) {
    QList<WatchRow> rows;
    for (const WatchedHolder& holder : holders) {
        WatchRow row{holder, std::nullopt, 0};
        const QString document = DigitString::digitsOf(holder.document).text();
        for (const SourcedCertificate& c : certificates) {
            if (!isHoldersCertificate(c, document))
                continue;
            const int days = daysLeft(c.certificate, today);
            if (!row.certificate || days > row.daysLeft) {
                row.certificate = c;
                row.daysLeft = days;
            }
        }
        rows.append(row);
    }
    return rows;
}

QString expiryNotice(const QList<WatchRow>& rows) {
    QStringList parts;
    for (const WatchRow& row : rows)
        if (row.certificate && row.daysLeft <= kExpiryWarningDays)
            parts.append(row.holder.name + QLatin1Char(' ') + daysPhrase(row.daysLeft));
    if (parts.isEmpty())
        return {};
    return (parts.size() == 1 ? QStringLiteral("Certificado digital de ")
                              : QStringLiteral("Certificados digitais: ")) +
           parts.join(QStringLiteral("; ")) + QStringLiteral(". Veja Arquivo > Certificados (F7).");
}
