// Whose certificate is about to end: each registered taxpayer and the
// accountant beside the certificate found for its document (the one that
// lasts longest), and the one-line notice the main window shows at start.
#pragma once

#include "certificates/CertificateSource.h"

#include <QDate>
#include <QList>
#include <QString>

#include <optional>

struct WatchedHolder {
    QString role;     // "Contribuinte" or "Contador"
    QString name;     // company or person name as registered
    QString document; // CNPJ or CPF as stored (punctuation allowed)
};

struct WatchRow {
    WatchedHolder holder;
    // The matching certificate that lasts longest; nullopt when none matches.
    std::optional<SourcedCertificate> certificate;
    int daysLeft = 0; // of that certificate; 0 without one
};

// Whether the certificate is the holder's whose document digits are given
// (CNPJ or CPF, punctuation removed): the ICP-Brasil CNPJ (2.16.76.1.3.3) or
// CPF (2.16.76.1.3.1) it carries equals them; a certificate with neither
// field, by the common name's ":digits" suffix. Digits found elsewhere (the
// responsible person's CPF on a company's certificate, 2.16.76.1.3.4) never
// make it the holder's. Empty digits match nothing.
bool isHoldersCertificate(const SourcedCertificate& certificate, const QString& documentDigits);

// Each holder's certificate is chosen by isHoldersCertificate; a holder
// without a document matches nothing. Rows keep the order of holders.
QList<WatchRow> watchHolders(const QList<WatchedHolder>& holders,
                             const QList<SourcedCertificate>& certificates, const QDate& today);

// One line naming the holders whose certificate ends within
// kExpiryWarningDays or has ended; the empty text when there is none.
QString expiryNotice(const QList<WatchRow>& rows);
