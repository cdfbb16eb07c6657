// The program's message boxes as the support log sees them: every box shown
// to the user (errors above all) is written to the log before it is shown,
// then the real prompter shows it. Built once by the composition root around
// the real prompter, so no window has to log its own messages.
#pragma once

#include "platform/Prompter.h"

class LoggedPrompter : public Prompter {
public:
    // inner: shows the boxes; not owned, must outlive this object.
    explicit LoggedPrompter(Prompter& inner) : m_inner(inner) {}

    // Logs the box (icon, title, text, masked by the log) and returns what
    // inner answers. A failed log write changes nothing.
    MsgAnswer show(const Message& message) override;

private:
    Prompter& m_inner;
};
