// The municipal web site: its host lives here only, so the help message, the
// About window and the accountant window's connection messages name the same
// address.
#pragma once

#include <QString>

namespace SiteInfo {

// Host name of the municipality's web site (no scheme, no path).
inline QString host() {
    return QStringLiteral("www.valdoria.rj.gov.br");
}

// The site's address with its scheme, as the messages print it.
inline QString url() {
    return QStringLiteral("http://") + host();
}

} // namespace SiteInfo
