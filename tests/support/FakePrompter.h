// Message boxes for window tests: records every message shown and answers
// Yes/No boxes from a script. A Yes/No box nobody scripted, or a scripted
// answer never asked for, fails the running test; OK boxes need no script.
#pragma once

#include "platform/Prompter.h"

#include <QList>
#include <QStringList>
#include <deque>
#include <ostream>

class FakePrompter : public Prompter {
public:
    // Fails the test when scripted answers were left unused.
    ~FakePrompter() override;

    // Scripts the answer to the next Yes/No box. With `expectedText`, the box
    // must also carry exactly that text.
    void answerNext(MsgAnswer answer, const QString& expectedText = {});

    // Records the message; OK boxes answer Ok, Yes/No boxes the next scripted
    // answer (an unscripted one fails the test and answers No).
    MsgAnswer show(const Message& message) override;

    const QList<Message>& messages() const { return m_messages; }
    // Texts of the messages, in the order they were shown.
    QStringList texts() const;
    // Forgets the messages recorded so far (not the script).
    void clearMessages() { m_messages.clear(); }
    // Scripted answers not yet used.
    std::size_t pendingAnswers() const { return m_script.size(); }

    // Fails the test, listing them, when any message was shown.
    void expectNoMessages() const;

    // With `on`, every box runs a nested event loop while it is "open", as a
    // real modal box does, so deferred work (deferred deletions among it)
    // happens where it would in the program.
    void spinEventLoop(bool on) { m_spin = on; }

private:
    struct Scripted {
        MsgAnswer answer;
        QString expectedText;
    };
    std::deque<Scripted> m_script;
    QList<Message> m_messages;
    bool m_spin = false;
};

// Readable messages in test failures.
void PrintTo(const Message& message, std::ostream* os);
