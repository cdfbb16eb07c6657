// Reading tables of an Access file in a short-lived child process
// (dadav-leitor-mdb), so that a damaged or hostile file that crashes or
// stalls the Access library costs the child, never the client.
//
// The child runs as every helper child does (childprocess/ChildRunner: an
// address-space limit, a wall-clock time-out after which its process group
// is killed); what it writes is read with a bound on its size and checked
// record by record (MdbFrames). A crash, a signal, the time-out,
// the memory limit, an unexpected exit status and any malformed output all
// end in one error, which the caller reports as an unreadable file.
//
// The program is looked up beside the running executable (the build tree
// and a portable copy) and then in the install's helper folder
// (<prefix>/libexec/dadav, see docs/import.md); a test names it with
// setProgram.
#pragma once

#include "childprocess/ChildRunner.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <chrono>
#include <functional>

namespace MdbChild {

inline constexpr char kProgramName[] = "dadav-leitor-mdb";

// Error number of a helper that cannot be found or started (an installation
// fault, not a fault of the file). The other numbers are MdbFrames' ones.
inline constexpr qint32 kHelperMissing = 429;

// Names the helper program for the rest of the process; an empty path
// returns to the lookup.
void setProgram(const QString& path);
// The helper program: the one set, else the first executable found where
// it is looked up; empty when there is none.
QString program();

// Time-out, address space (256 MiB) and output (64 MiB) as ChildRunner's.
struct Limits : ChildRunner::Limits {
    // Rows read at most, all requests together; a child that writes more is
    // killed. Tiny rows are cheap in bytes but not in the client's memory:
    // readTables holds every row, so its bound is the one that keeps a
    // damaged file from taking the client's memory. A caller that streams
    // with readRows may allow more.
    qint64 rows = 100000;
};

// A column by name (compared without regard to letter case) or, when `name`
// is empty, by position from 0.
struct Column {
    QString name;
    int position = -1;

    static Column named(const QString& n) { return {n, -1}; }
    static Column at(int p) { return {QString(), p}; }
};

struct Request {
    QString table;
    QList<Column> columns; // at least one, unless columnNames
    // Instead of its rows: the table's column names, in table order, one
    // row of one text per column (`columns` then stays empty).
    bool columnNames = false;
};

// Rows of one table, each with one text per requested column. A NULL value
// is a null QString (isNull()); a zero-length text is empty but not null.
using Rows = QList<QStringList>;

// Reads every request of the file at `path`, in order: one Rows per request.
// The client never opens the file itself. Throws RuntimeError with
// - kHelperMissing when the helper cannot be found or started;
// - MdbFrames::kFileNotFound, kNotAccessFile, kTableNotFound or
//   kColumnNotFound when the child reports that failure;
// - MdbFrames::kNotAccessFile for everything else that goes wrong in or with
//   the child (crash, signal, time-out, memory limit, exit status, output
//   overlong, malformed or not UTF-8).
QList<Rows> readTables(const QString& path, const QList<Request>& requests,
                       const Limits& limits = {});

// Called with the request's place in `requests` and one row of it.
using RowSink = std::function<void(qsizetype request, const QStringList& row)>;

// As readTables, but hands every row to sink as soon as the child has
// written it, holding nothing: the rows of a read that then fails have been
// handed over already, so the caller keeps them apart (a transaction) until
// readRows returns. Time spent in sink does not count against the time-out.
// Throws as readTables; what sink throws ends the child and passes through.
void readRows(const QString& path, const QList<Request>& requests, const RowSink& sink,
              const Limits& limits = {});

} // namespace MdbChild
