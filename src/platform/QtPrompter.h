// The program's real message boxes.
#pragma once

#include "platform/Prompter.h"

class QMessageBox;

class QtPrompter : public Prompter {
public:
    // Title shown by boxes that have no title of their own.
    static QString defaultTitle();

    // Shows a modal box over the active window and waits for the answer.
    // The text is shown as plain text, never as markup.
    MsgAnswer show(const Message& message) override;

    // Sets up `box` as show() displays `message` (exposed for tests).
    static void prepare(QMessageBox& box, const Message& message);
};
