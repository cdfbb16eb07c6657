// Days left and their marking.
#include "certificates/CertificateExpiry.h"

int daysLeft(const Certificate& certificate, const QDate& today) {
    return static_cast<int>(today.daysTo(certificate.validTo.date()));
}

QString daysLeftText(int days) {
    if (days < 0)
        return QStringLiteral("expirado");
    const QString count =
        days == 1 ? QStringLiteral("1 dia") : QString::number(days) + QStringLiteral(" dias");
    return days <= kExpiryWarningDays ? count + QStringLiteral(", vence em breve") : count;
}
