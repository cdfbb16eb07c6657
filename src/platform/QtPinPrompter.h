// The program's PIN question: "PIN do token <rótulo>:" in a masked field
// over the active window, "OK" and "Cancelar".
#pragma once

#include "platform/PinPrompter.h"

class QtPinPrompter : public PinPrompter {
public:
    std::optional<QString> askPin(const QString& tokenLabel) override;
};
