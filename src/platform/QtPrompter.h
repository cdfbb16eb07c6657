// The program's real message boxes.
#pragma once

#include "platform/Prompter.h"

class QWidget;

class QtPrompter : public Prompter {
public:
    // Title shown by boxes that have no title of their own.
    static QString defaultTitle();

    MsgAnswer show(const Message& message) override;
};
