// Message boxes as the windows ask for them. Windows never call QMessageBox
// directly: they hold a Prompter, which the program backs with real boxes and
// tests back with a fake that records every message and scripts the answers.
#pragma once

#include <QString>

enum class MsgIcon { None, Information, Warning, Critical };
// YesNoDefaultNo: Enter and Escape both answer No, for questions whose Yes
// must be a deliberate choice.
enum class MsgButtons { Ok, YesNo, YesNoDefaultNo };
enum class MsgAnswer { Ok, Yes, No };

struct Message {
    QString text;
    QString title; // empty: the box has no title of its own and shows the program's title
    MsgIcon icon = MsgIcon::None;
    MsgButtons buttons = MsgButtons::Ok;

    bool operator==(const Message&) const = default;
};

class Prompter {
public:
    virtual ~Prompter() = default;
    // Shows the box and waits for the user's answer (Ok for an OK box).
    virtual MsgAnswer show(const Message& message) = 0;
};
