// The follow-up's growing intervals.
#include "followup/FollowUpSchedule.h"

#include <array>

namespace FollowUpSchedule {

std::chrono::minutes intervalBefore(int round) {
    static constexpr std::array<int, 4> kFirst = {2, 5, 15, 30};
    if (round >= 1 && round <= int(kFirst.size()))
        return std::chrono::minutes(kFirst[std::size_t(round - 1)]);
    return std::chrono::minutes(60);
}

} // namespace FollowUpSchedule

FollowUpTimer::FollowUpTimer(std::chrono::milliseconds minute, QObject* parent)
    : QObject(parent), m_minute(minute) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &FollowUpTimer::fire);
}

void FollowUpTimer::start() {
    m_rounds = 0;
    m_timer.start(0);
}

void FollowUpTimer::stop() {
    m_timer.stop();
}

void FollowUpTimer::fire() {
    ++m_rounds;
    m_timer.start(m_minute * FollowUpSchedule::intervalBefore(m_rounds).count());
    emit due();
}

#include "moc_FollowUpSchedule.cpp"
