// The busy indicator shown while a network call blocks the window thread. Core
// code only knows this interface; the program backs it with the wait cursor
// (platform/WaitCursor.h), tests with nothing or a recorder.
#pragma once

class BusyIndicator {
public:
    virtual ~BusyIndicator() = default;
    // Shows the indicator. Calls nest: each begin is matched by one end.
    virtual void begin() = 0;
    // Takes back one begin.
    virtual void end() = 0;
};

// Shows the indicator for the lifetime of the guard, also when an exception
// leaves the scope. A null indicator is allowed and does nothing.
class BusyGuard {
public:
    explicit BusyGuard(BusyIndicator* indicator) : m_indicator(indicator) {
        if (m_indicator)
            m_indicator->begin();
    }
    ~BusyGuard() {
        if (m_indicator)
            m_indicator->end();
    }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

private:
    BusyIndicator* m_indicator;
};
