// Running the certificate reader child (dadav-leitor-certificados): one run
// per token module or browser database, so that a driver that hangs, crashes
// or writes nonsense costs that child, never the client, which loads none of
// these libraries.
//
// The child runs as every helper child does (childprocess/ChildRunner: an
// address-space limit, a wall-clock time-out after which its process group
// is killed, a bound on its output); its records are checked before use
// (CertificateFrames). A secret (the token's PIN) reaches it through a pipe
// on its standard input, never through the command line or the environment.
#pragma once

#include "certificates/CertificateFrames.h"
#include "childprocess/ChildRunner.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace CertificateChild {

inline constexpr char kProgramName[] = "dadav-leitor-certificados";

void setProgram(const QString& path);
// The program set, else the first executable found; empty when none.
QString program();

// A driver and its libraries may map far more than the Access library.
struct Limits : ChildRunner::Limits {
    Limits() {
        memoryBytes = quint64(1) << 30;
        outputBytes = qint64(16) << 20;
    }
};

using Failure = ChildRunner::Failure;

// Runs the child with arguments and returns its records (without the
// version; the last is 'E' or 'F'). secret, when given, is written to the
// child's standard input, which is then closed; the caller wipes it. Throws
// Failure. Thread-safe: any number of runs may go on side by side.
std::vector<CertificateFrames::Record> run(const QStringList& arguments, const Limits& limits,
                                           const QByteArray* secret = nullptr);

} // namespace CertificateChild
