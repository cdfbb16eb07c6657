// The busy indicator shown while a network call blocks the window thread. Core
// code only knows this interface; the program backs it with the wait cursor
// and, when a call lasts, a small dialog that lets the user cancel it
// (platform/WaitCursor.h); tests use nothing or a recorder.
#pragma once

#include <functional>

class BusyIndicator {
public:
    virtual ~BusyIndicator() = default;
    // Shows the indicator. Calls nest: each begin is matched by one end.
    virtual void begin() = 0;
    // Takes back one begin, and with it any cancel offer made since.
    virtual void end() = 0;
    // Offers the user a way to stop the work of the innermost begin, until its
    // end. `cancel` is called at most once, from the event loop, when the user
    // takes the offer, and never after end. While the offer stands the
    // indicator keeps the user's input away from every other window, so the
    // caller may let user input through its own event loop. Returns false when
    // this indicator makes no such offer (the default): the caller then keeps
    // user input excluded.
    virtual bool offerCancel(std::function<void()> cancel) {
        static_cast<void>(cancel);
        return false;
    }
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
