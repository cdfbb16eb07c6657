// The office overview's certificate column: the days left of the certificate
// found for a taxpayer among those the program sees (the own folder, tokens,
// browsers), matched as the certificate step and the expiry watch match.
#pragma once

#include "certificates/CertificateSource.h"
#include "store/ContribuinteRepository.h"

#include <QDate>
#include <QList>

#include <optional>

namespace Overview {

// Whole days from `today` until the end of validity of the taxpayer's
// certificate that lasts longest (negative when expired), or nullopt when
// none carries its CNPJ. Never throws.
std::optional<int> certificateDaysLeft(const ContribuinteRow& taxpayer,
                                       const QList<SourcedCertificate>& certificates,
                                       const QDate& today);

} // namespace Overview
