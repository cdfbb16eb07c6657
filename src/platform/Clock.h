// The current date and time as the program reads it. Everything that depends
// on today's date (the reference months offered for a declaration, the days
// a certificate has left, the dates the archive records) takes a Clock from
// its context, so tests can fix the date and every date of one run comes
// from the same source.
#pragma once

#include <QDateTime>

class Clock {
public:
    virtual ~Clock() = default;
    // Local date and time now.
    virtual QDateTime now() const = 0;
    // Local date now; the date of now().
    QDate today() const { return now().date(); }
};

// The system's clock.
class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

// One system clock for the whole program: what a context holds until its
// builder sets another.
inline Clock& systemClock() {
    static SystemClock clock;
    return clock;
}
