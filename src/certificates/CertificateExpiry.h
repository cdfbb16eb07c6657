// How long a certificate still lasts, in whole days of the local calendar,
// and the words that mark one close to its end or past it, shared by the
// selection dialog, the certificates window and the start-up notice.
#pragma once

#include "certificates/Certificate.h"

#include <QDate>
#include <QString>

// Days from today to the last day of validity: 0 on that day, negative
// after it.
int daysLeft(const Certificate& certificate, const QDate& today);

// A certificate this close to its end (or closer) is marked.
constexpr int kExpiryWarningDays = 30;

// The days-left cell: "expirado" after the last day, "N dias, vence em breve"
// within kExpiryWarningDays, else "N dias" ("1 dia" for one).
QString daysLeftText(int days);
