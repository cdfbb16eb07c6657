// URL splitting for the raw-socket upload, which needs host, port and path
// separately to address the server.
#pragma once

#include <QString>
#include <QtGlobal>

struct UrlParts {
    QString Scheme;  // before "://"; empty when the URL has none
    QString Host;    // host name or address
    qint16 Port = 0; // numeric port of the URL, else 0 (see ExtractUrl)
    QString URI;     // from the first "/" after the host up to the first "?"; "/" when no path
    QString Query;   // after the first "?" of the path part; empty when none
};

namespace url_helper {

// Splits a URL into its parts. Never fails: unusual URLs give empty or partial
// fields.
//
// - The port is taken only when a ":" comes before the first "/"; the text
//   between them must be decimal digits, blanks around allowed (" 8080 ").
//   A port that is not numeric (sign, decimal point, letters, empty) or that
//   is above 32767 (it does not fit the 16-bit signed field) leaves Port 0;
//   the host and path are split as usual.
// - Without any "/" after the scheme, Host is the whole rest (a ":port" stays
//   inside it), Port is 0 and URI is "/".
// - A ":" after the first "/" belongs to the path or query, not the port.
UrlParts ExtractUrl(const QString& url);

} // namespace url_helper
