// Asking the user for a token's PIN. The program backs it with a masked
// question over the active window (QtPinPrompter); tests script it. Both the
// certificate selection dialog and the certificates window ask through it.
#pragma once

#include <QString>

#include <optional>

class PinPrompter {
public:
    virtual ~PinPrompter() = default;
    // Asks the PIN of the token named tokenLabel in a masked field; nullopt
    // when the user cancels. The caller uses the answer once, then wipes it.
    virtual std::optional<QString> askPin(const QString& tokenLabel) = 0;
};
