// Scripted stand-in for the PIN question: answers from a queue (an empty
// optional is a cancel; an empty queue cancels too) and records every token
// asked about.
#pragma once

#include "platform/PinPrompter.h"

#include <QStringList>

#include <deque>

namespace dadav::test {

class FakePinPrompter : public PinPrompter {
public:
    std::optional<QString> askPin(const QString& tokenLabel) override {
        asked.append(tokenLabel);
        if (answers.empty())
            return std::nullopt;
        const std::optional<QString> next = answers.front();
        answers.pop_front();
        return next;
    }

    std::deque<std::optional<QString>> answers;
    QStringList asked;
};

} // namespace dadav::test
