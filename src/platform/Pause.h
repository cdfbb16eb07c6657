// A fixed pause of the window thread. The Simples Nacional window waits a few
// fixed moments around its upload; the program waits in a local event loop
// that leaves out user input, so the window still repaints and socket events
// still arrive, while tests record the durations instead of waiting.
#pragma once

class Pause {
public:
    virtual ~Pause() = default;
    // Returns after `milliseconds` (0 or less: at once). Events other than user
    // input may be processed meanwhile, so the caller must expect its own
    // signals (socket, timers) to run before this returns.
    virtual void wait(int milliseconds) = 0;
};
