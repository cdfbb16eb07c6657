// Days left of a taxpayer's certificate, for the overview's column.
#include "overview/CertificateDaysLeft.h"

#include "certificates/ExpiryWatch.h"

namespace Overview {

std::optional<int> certificateDaysLeft(const ContribuinteRow& taxpayer,
                                       const QList<SourcedCertificate>& certificates,
                                       const QDate& today) {
    const QList<WatchRow> rows =
        watchHolders({{QStringLiteral("Contribuinte"), taxpayer.RazaoSocial, taxpayer.Cnpj}},
                     certificates, today);
    if (rows.isEmpty() || !rows.first().certificate)
        return std::nullopt;
    return rows.first().daysLeft;
}

} // namespace Overview
