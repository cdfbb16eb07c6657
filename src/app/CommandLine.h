// The options the program answers on the terminal, before any window or
// display is needed: the version and a short help.
#pragma once

#include <QString>
#include <QStringList>

namespace CommandLine {

struct TerminalAnswer {
    bool answered = false; // false: start the windows as usual
    QString text;          // what to print on standard output (ends with a line break)
    int exitCode = 0;
};

// Looks at the arguments after the program's name. "--version"/"-v" answers
// "dadav <version>", "--help"/"-h" the usage; the first of them wins. Any
// other argument is left to Qt (e.g. "-platform xcb") and answers nothing.
TerminalAnswer answer(const QStringList& arguments);

} // namespace CommandLine
