// The sending-time certificate decision.
#include "transmission/SendingCertificate.h"

namespace SendingCertificate {

QDateTime judgingDate(const QDateTime& dataServidor, const QDateTime& now) {
    return dataServidor.isValid() ? dataServidor : now;
}

bool accepted(const Certificate& certificate, const QString& accountantDocument,
              const QDateTime& date) {
    // Both documents of the shared match are the accountant's: the taxpayer's
    // certificate does not sign a transmission.
    return certificateMatches(certificate.der, accountantDocument, accountantDocument) &&
           certificateValidAt(certificate, date);
}

} // namespace SendingCertificate
