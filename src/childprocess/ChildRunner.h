// Running a helper child (the Access reader, the certificate reader): a
// short-lived program that loads code the client does not trust with its own
// memory (libmdb on someone's file, a token driver), so that a crash, a hang
// or nonsense costs the child, never the client.
//
// Every child runs under an address-space limit, without core files, in a
// process group of its own, and goes with the client (a parent-death signal,
// checked against the client's pid). It is killed with its whole group (a
// driver's forked helpers included) at its wall-clock time-out, when its
// output passes its bound, when the reader of that output throws, when it
// ends, and at the program's exit (stopAll). What it writes is handed over
// piece by piece as it arrives.
//
// Programs are looked up by name beside the running executable (the build
// tree and a portable copy), then in the install's helper folder
// (<prefix>/libexec/dadav); a test names one with setProgram.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <chrono>
#include <exception>
#include <functional>
#include <string_view>

namespace ChildRunner {

// Names the program file for the helper `name` for the rest of the process;
// an empty path returns to the lookup. Thread-safe.
void setProgram(const char* name, const QString& path);
// The program set for `name`, else the first executable found; empty when
// there is none. Thread-safe; the lookup needs a QCoreApplication.
QString program(const char* name);

struct Limits {
    // From the start of the child to its last byte; then it is killed. Time
    // the output's reader spends does not count.
    std::chrono::milliseconds timeout{10000};
    // Address space the child may map, its libraries included.
    quint64 memoryBytes = quint64(256) << 20;
    // Output read at most; a child that writes more is killed.
    qint64 outputBytes = qint64(64) << 20;
};

// Why a run gave no usable answer.
class Failure : public std::exception {
public:
    enum class Kind {
        Missing,   // the program cannot be found (detail empty) or started
        TimedOut,  // killed at its time-out
        Crashed,   // ended by a signal or without an end record
        Malformed, // output that breaks the record format (the caller's word)
        TooLarge,  // more output than Limits::outputBytes
    };
    Failure(Kind kind, QString detail) : m_kind(kind), m_detail(std::move(detail)) {}
    Kind kind() const { return m_kind; }
    const QString& detail() const { return m_detail; }
    const char* what() const noexcept override { return "helper child failed"; }

private:
    Kind m_kind;
    QString m_detail;
};

struct Launch {
    QString program; // as program() gives it
    QStringList arguments;
    Limits limits;
    // Written to the child's standard input through a pipe, which is then
    // closed (a secret never goes on the command line or in the
    // environment); the caller wipes it. Null: standard input is empty.
    const QByteArray* input = nullptr;
};

// How the child ended.
struct Exit {
    bool normal = false; // false: ended by a signal
    int code = 0;        // its exit status, when normal
};

// Called with each piece of the output as it arrives.
using OutputReader = std::function<void(std::string_view piece)>;

// Starts the child, hands its output to reader and returns how it ended.
// Throws Failure (Missing, TimedOut, TooLarge); what reader throws ends the
// child at once and passes through. Thread-safe: any number of runs may go
// on side by side.
Exit run(const Launch& launch, const OutputReader& reader);

// Kills every child running now with its group, without waiting: for the
// program's exit (a child started later still dies with the process). Their
// runs then end at once, as ended by a signal.
void stopAll();

} // namespace ChildRunner
