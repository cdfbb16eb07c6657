// The one check of the "host" setting that every request to the server goes
// through (SOAP calls and uploads): the setting names a host and nothing else,
// so a port, path, query or user written into it can never send a request
// elsewhere than the settings say.
#pragma once

#include <QString>

namespace ServerHost {

// True when `host` is a host name, an IPv4 address or an IPv6 address in
// brackets, with nothing else: no scheme, port, user, path, query, fragment,
// blank or control character. False for the empty text. Never throws.
bool isPlainHost(const QString& host);

} // namespace ServerHost
