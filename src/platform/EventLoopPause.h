// The program's pause: a local event loop that excludes user input (keys,
// mouse) for the given time, so the window never freezes and cannot be
// operated half-way through.
#pragma once

#include "platform/Pause.h"

class EventLoopPause final : public Pause {
public:
    void wait(int milliseconds) override;
};
