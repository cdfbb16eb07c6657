// Pauses for window tests: records each duration asked for and returns at
// once, optionally running a step inside the pause (to act while the window
// waits, as a socket event or the close box would).
#pragma once

#include "platform/Pause.h"

#include <QList>

#include <functional>

class FakePause : public Pause {
public:
    void wait(int milliseconds) override {
        m_durations.append(milliseconds);
        if (m_during && (m_duringMs < 0 || m_duringMs == milliseconds)) {
            auto step = std::move(m_during);
            m_during = nullptr;
            step();
        }
    }
    // Durations in the order asked for.
    const QList<int>& durations() const { return m_durations; }
    // Runs `step` inside the next pause (of `milliseconds` only, when given).
    void duringNext(std::function<void()> step, int milliseconds = -1) {
        m_during = std::move(step);
        m_duringMs = milliseconds;
    }

private:
    QList<int> m_durations;
    std::function<void()> m_during;
    int m_duringMs = -1;
};
