// The seam between the office overview and the certificates a taxpayer has:
// the days left of the certificate found for it. The overview asks this one
// function; nothing else in the overview knows where certificates come from.
#pragma once

#include "store/ContribuinteRepository.h"

#include <QDate>

#include <optional>

namespace Overview {

// Whole days from `today` until the end of validity of the taxpayer's
// certificate (negative when expired), or nullopt when none is found. Never
// throws. For now no certificate source is consulted: always nullopt.
std::optional<int> certificateDaysLeft(const ContribuinteRow& taxpayer, const QDate& today);

} // namespace Overview
