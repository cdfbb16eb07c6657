// The options the program answers on the terminal, before any window or
// display is needed: the version, a short help, and the copy of the local
// database into the database server of the settings.
#pragma once

#include <QString>
#include <QStringList>

namespace CommandLine {

struct TerminalAnswer {
    bool answered = false; // false: start the windows as usual
    QString text;          // what to print on standard output (ends with a line break)
    int exitCode = 0;
    bool copyDatabaseToServer = false; // true: run the copy, print its outcome, exit
    bool batchCommand = false;         // true: run the batch of a CSV headless, exit
    bool receiptCommand = false;       // true: fetch the receipts headless, exit
};

// Looks at the arguments after the program's name. "--version"/"-v" answers
// "dadav <version>", "--help"/"-h" the usage, "--copiar-banco-para-servidor"
// asks for the copy (answered stays false: the caller runs it); the first of
// them wins, except "--enviar-lote" anywhere, which asks for the batch of a
// CSV (batchCommand; its own options, --help included, are the batch's), and
// "--buscar-recibos" anywhere, which asks for the receipts (receiptCommand,
// its options its own too). Any other argument is left
// to Qt (e.g. "-platform xcb") and answers nothing.
TerminalAnswer answer(const QStringList& arguments);

} // namespace CommandLine
