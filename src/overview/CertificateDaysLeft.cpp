// Days left of a taxpayer's certificate, for the overview's column.
#include "overview/CertificateDaysLeft.h"

namespace Overview {

std::optional<int> certificateDaysLeft(const ContribuinteRow& /*taxpayer*/,
                                       const QDate& /*today*/) {
    // No certificate source is wired in yet; the column stays empty.
    return std::nullopt;
}

} // namespace Overview
