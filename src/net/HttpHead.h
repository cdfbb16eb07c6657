// The head of an HTTP answer (status line and header fields), read from a
// connection within a bound and no further than its blank line, so what
// follows it (a tunnel's first bytes, a body) stays in the connection for its
// reader: a peer sending an endless header costs the proxy tunnel no more
// than the bound. The reading of a head's status and fields serves the SOAP
// calls' checks of their heads too (net/CurlReply).
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

class QIODevice;

namespace HttpHead {

// The longest head accepted, status line included.
constexpr qint64 kMaxBytes = 64 * 1024;

enum class Progress {
    Partial, // more is needed; everything available was taken into head
    Whole,   // head holds the whole head, its blank line included
    TooLong, // kMaxBytes reached without the blank line; stop reading
};

// Moves what belongs to the head from device into head (which holds what an
// earlier call took; start with it empty). Reads nothing past the head's end
// and never lets head pass kMaxBytes.
Progress take(QIODevice& device, QByteArray& head);

// The status code of head's status line ("HTTP/1.0 " or "HTTP/1.1 " and three
// digits), -1 when it has none.
int statusOf(const QByteArray& head);

// The head's fields after its status line, in order: names as written,
// values trimmed. Lines without a name before a colon are left out.
QList<QPair<QByteArray, QByteArray>> fields(const QByteArray& head);

// The value of the first field called name (case-insensitive), trimmed; empty
// when there is none.
QByteArray field(const QByteArray& head, const QByteArray& name);

// The methods a 407's Proxy-Authenticate fields offer, in lower case.
struct Challenge {
    bool basic = false;
    bool qtAnswers = false; // Digest, NTLM or Negotiate
};
Challenge proxyChallenge(const QByteArray& head);

} // namespace HttpHead
