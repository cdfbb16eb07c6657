// The failure of a network call that got no usable answer from the server.
// Callers catch it (or RuntimeError) and show their own fixed message.
#pragma once

#include "base/RuntimeError.h"

#include <exception>

class NetworkError : public RuntimeError {
public:
    // Numbers of the failures that Qt does not report itself; every other
    // failure carries the number of Qt's QNetworkReply::NetworkError code.
    static constexpr qint32 InvalidAddress = -1;
    static constexpr qint32 ConnectTimeout = -2;
    static constexpr qint32 ReadTimeout = -3;
    // The answer was larger than the transport accepts; reading stopped there.
    static constexpr qint32 AnswerTooLarge = -4;
    // The whole call took longer than its total deadline.
    static constexpr qint32 DeadlineExpired = -5;
    // The user cancelled the call while it waited.
    static constexpr qint32 Cancelled = -6;

    // description: what went wrong, in Qt's words where Qt reported it.
    NetworkError(qint32 number, QString description);

    // What a window says after the user cancelled a call: nothing failed, so
    // no advice about the network follows.
    static QString cancelledText() {
        return QStringLiteral("A chamada ao servidor foi cancelada.");
    }
    // True when caught is a call the user cancelled.
    static bool isCancel(const std::exception& caught) {
        const auto* e = dynamic_cast<const NetworkError*>(&caught);
        return e && e->number() == Cancelled;
    }
};
