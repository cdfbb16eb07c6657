// The program's busy indicator: the application-wide wait cursor.
#pragma once

#include "platform/BusyIndicator.h"

class WaitCursor : public BusyIndicator {
public:
    // Needs a QGuiApplication (or QApplication) to exist.
    void begin() override;
    void end() override;
};
