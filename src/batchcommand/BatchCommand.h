// The command line's batch: `dadav --enviar-lote ARQUIVO.csv` sends the rows
// of a CSV (BatchCsv) through the batch queue, headless, with the
// accountant's certificate named by --certificado; --verificar runs only the
// checks. It prints one line per row and a summary, writes the same archive
// and database records as the window, and its exit code says how it went.
// Runs under a QCoreApplication: no display is needed.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace BatchCommand {

// Exit codes (also in the usage text and docs/batch.md).
enum Exit {
    kAllAccepted = 0,    // every row accepted (--verificar: every row ready)
    kNotAllAccepted = 1, // some row refused, not sent, without reply or cancelled
    kUsage = 2,          // wrong options, or the CSV cannot be read
    kCertificate = 3,    // the certificate cannot be read or is not the accountant's, valid now
    kDatabase = 4,       // the database, the application folder or the accountant's record
    kChecksFailed = 5,   // --verificar: some row would not be sent
    kPaused = 6,         // three rows failed in a row for the network: rerun to go on
};

// Whether the arguments ask for the batch ("--enviar-lote" among them).
bool wanted(int argc, char** argv);

// The usage text, exit codes included.
QString usage();

// Runs the command; `arguments` are those after the program's name.
// `chooseFolder` sets the application folder as the windows' start does (it
// may throw RuntimeError). Needs a QCoreApplication; returns the exit code.
int run(const QStringList& arguments, const std::function<void()>& chooseFolder);

} // namespace BatchCommand
