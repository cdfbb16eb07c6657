// When the sendings still open are asked about while the program is open:
// at start, then at growing intervals (2, 5, 15 and 30 minutes, then every
// hour), so a sending made just before is soon settled and a quiet office
// does not burden the server. A refresh of the overview asks as well, apart
// from this schedule.
#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>

namespace FollowUpSchedule {

// The wait before round `round` (1: the first after the one at start);
// hourly from the fifth on.
std::chrono::minutes intervalBefore(int round);

} // namespace FollowUpSchedule

// Emits due() from the event loop at start() and then after each interval
// of FollowUpSchedule. `minute` is how long a minute of the schedule lasts:
// a minute for the program, a few milliseconds for a test.
class FollowUpTimer : public QObject {
    Q_OBJECT
public:
    explicit FollowUpTimer(std::chrono::milliseconds minute = std::chrono::minutes(1),
                           QObject* parent = nullptr);

    // (Re)starts the schedule: due() at once, from the event loop.
    void start();
    void stop();
    // Rounds emitted since start().
    int rounds() const { return m_rounds; }

signals:
    void due();

private:
    void fire();

    std::chrono::milliseconds m_minute;
    QTimer m_timer;
    int m_rounds = 0;
};
