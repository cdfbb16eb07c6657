// Scripted stand-in for the proxy credentials dialog: answers from a queue
// (an empty optional is a cancel; an empty queue cancels too) and records
// every question.
#pragma once

#include "platform/CredentialsPrompter.h"

#include <QList>

#include <deque>

namespace dadav::test {

class FakeCredentialsPrompter : public CredentialsPrompter {
public:
    struct Question {
        QString proxy;
        bool refused;
        QString user; // the user name offered in the field
    };

    std::optional<Credentials> askProxyCredentials(const QString& proxy, bool refused,
                                                   const QString& user) override {
        asked.append({proxy, refused, user});
        if (answers.empty())
            return std::nullopt;
        const std::optional<Credentials> next = answers.front();
        answers.pop_front();
        return next;
    }

    std::deque<std::optional<Credentials>> answers;
    QList<Question> asked;
};

} // namespace dadav::test
