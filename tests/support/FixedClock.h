// A clock for tests: always answers the date and time it was set to.
#pragma once

#include "platform/Clock.h"

class FixedClock : public Clock {
public:
    explicit FixedClock(QDateTime now = {}) : m_now(std::move(now)) {}
    void set(const QDateTime& now) { m_now = now; }
    QDateTime now() const override { return m_now; }

private:
    QDateTime m_now;
};
