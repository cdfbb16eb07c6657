// The failure of a network call that got no answer from the server. Callers
// catch it (or RuntimeError) and show their own fixed message.
#pragma once

#include "base/RuntimeError.h"

class NetworkError : public RuntimeError {
public:
    // Numbers of the failures that Qt does not report itself; every other
    // failure carries the number of Qt's QNetworkReply::NetworkError code.
    static constexpr qint32 InvalidAddress = -1;
    static constexpr qint32 ConnectTimeout = -2;
    static constexpr qint32 ReadTimeout = -3;

    // description: what went wrong, in Qt's words where Qt reported it.
    NetworkError(qint32 number, QString description);
};
