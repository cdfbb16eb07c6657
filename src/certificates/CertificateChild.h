// Running the certificate reader child (dadav-leitor-certificados): one run
// per token module or browser database, so that a driver that hangs, crashes
// or writes nonsense costs that child, never the client, which loads none of
// these libraries.
//
// The child runs under an address-space limit and a wall-clock time-out
// after which it is killed; its output is read with a bound on its size and
// checked record by record (CertificateFrames). A secret (the token's PIN)
// reaches it through a pipe on its standard input, written straight from the
// caller's buffer, never through the command line or the environment.
//
// The program is looked up beside the running executable (the build tree and
// a portable copy) and then in the install's helper folder
// (<prefix>/libexec/dadav); a test names it with setProgram.
#pragma once

#include "certificates/CertificateFrames.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <chrono>
#include <exception>
#include <vector>

namespace CertificateChild {

inline constexpr char kProgramName[] = "dadav-leitor-certificados";

void setProgram(const QString& path);
// The program set, else the first executable found; empty when none.
QString program();

struct Limits {
    // From the start of the child to its last byte; then it is killed.
    std::chrono::milliseconds timeout{10000};
    // Address space the child may map, the driver and its libraries included.
    quint64 memoryBytes = quint64(1) << 30;
    // Output read at most; a child that writes more is killed.
    qint64 outputBytes = qint64(16) << 20;
};

// Why a run gave no usable answer.
class Failure : public std::exception {
public:
    enum class Kind {
        Missing,   // the program cannot be found or started
        TimedOut,  // killed at its time-out
        Crashed,   // ended by a signal or without an end record
        Malformed, // output that breaks the record format
        TooLarge,  // more output than Limits::outputBytes
    };
    Failure(Kind kind, QString detail) : m_kind(kind), m_detail(std::move(detail)) {}
    Kind kind() const { return m_kind; }
    const QString& detail() const { return m_detail; }
    const char* what() const noexcept override { return "certificate reader child failed"; }

private:
    Kind m_kind;
    QString m_detail;
};

// Runs the child with arguments and returns its records (without the
// version; the last is 'E' or 'F'). secret, when given, is written to the
// child's standard input, which is then closed; the caller wipes it. Throws
// Failure. Thread-safe: any number of runs may go on side by side.
std::vector<CertificateFrames::Record> run(const QStringList& arguments, const Limits& limits,
                                           const QByteArray* secret = nullptr);

// Kills every child running now, without waiting: for the program's exit
// (a child started later still dies with the process, see limitChild).
// Their runs then end at once with Failure::Crashed.
void stopAll();

} // namespace CertificateChild
