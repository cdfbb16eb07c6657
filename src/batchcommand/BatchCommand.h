// The command line's batch: `dadav --enviar-lote ARQUIVO.csv` sends the rows
// of a CSV (BatchCsv) through the batch queue, headless, with the
// accountant's certificate named by --certificado; --verificar runs only the
// checks. It prints one line per row and a summary, writes the same archive
// and database records as the window, and its exit code says how it went.
// Runs under a QCoreApplication: no display is needed.
#pragma once

#include "batch/TaxpayerList.h"
#include "store/ContribuinteRepository.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdio>
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

// The lists of these taxpayers (one call each, a few at a time, waited for
// in a local event loop), by IE. A call that fails leaves its taxpayer out.
QHash<QString, TaxpayerList::Facts> askLists(const QList<ContribuinteRow>& taxpayers);

// Writes the whole text to `to` and flushes it.
void print(FILE* to, const QString& text);
// Every control character of text (line breaks, a NUL, a terminal's escape)
// a blank, so it stays on one line of the output.
QString oneLine(QString text);
// One output line of the command line: each field made oneLine and quoted
// as the CSV is read (BatchCsv::quoted), ";" between them, a line break.
QString csvLine(const QStringList& fields);

// The usage text, exit codes included.
QString usage();

// Runs the command; `arguments` are those after the program's name.
// `chooseFolder` sets the application folder as the windows' start does (it
// may throw RuntimeError). Needs a QCoreApplication; returns the exit code.
int run(const QStringList& arguments, const std::function<void()>& chooseFolder);

} // namespace BatchCommand
