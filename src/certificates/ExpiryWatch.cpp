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

} // namespace

QList<WatchRow> watchHolders(const QList<WatchedHolder>& holders,
                             const QList<SourcedCertificate>& certificates, const QDate& today) {
    QList<WatchRow> rows;
    for (const WatchedHolder& holder : holders) {
        WatchRow row{holder, std::nullopt, 0};
        const QString document = DigitString::digitsOf(holder.document).text();
        for (const SourcedCertificate& c : certificates) {
            if (document.isEmpty() || !certificateMatches(c.certificate.der, document, document))
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
