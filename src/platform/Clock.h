// The current date and time as the program reads it. Windows that depend on
// today's date (the reference months offered for a declaration) take a Clock
// from their context, so tests can fix the date.
#pragma once

#include <QDateTime>

class Clock {
public:
    virtual ~Clock() = default;
    // Local date and time now.
    virtual QDateTime now() const = 0;
};

// The system's clock.
class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};
