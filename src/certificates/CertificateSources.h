// Listing every certificate source together: each source runs on a thread
// of its own, so a module that hangs holds up neither the others nor, beyond
// its time-out, the caller. Also the names of the sources found on this
// machine, for the diagnostics.
#pragma once

#include "certificates/CertificateSource.h"

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

class QObject;

using CertificateSourceList = std::vector<std::shared_ptr<const CertificateSource>>;

// The sources of the program: the client's own folder, the PKCS#11 modules
// registered with p11-kit (and for the program alone) and the NSS databases
// under home, looked up when listed. Each module or database is read in a
// child killed after timeout.
CertificateSourceList
defaultCertificateSources(const QString& ownFolder, const QString& home,
                          std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Lists all sources at once and waits at most timeout per source, plus a
// short grace for the sources that end children at their own time-out (they
// run side by side, so the whole call waits at most about timeout). A source
// that throws or does not answer in time gives one failure line naming it
// ("NAME: não respondeu em N s."); its thread is left to finish on its own
// and its late answer is dropped. The certificates come in the order of the
// sources. Blocks the caller: call it from a worker thread when a window waits.
CertificateListing listCertificates(const CertificateSourceList& sources,
                                    std::chrono::milliseconds timeout);

// listCertificates on a worker thread; done then runs on the application's
// thread (receiver's, which must be it) with the result, unless receiver is
// gone by then. Returns at once. While a listing of the same sources and
// time-out runs, a further request starts none: it gets the same answer.
void listCertificatesAsync(CertificateSourceList sources, std::chrono::milliseconds timeout,
                           QObject* receiver, std::function<void(const CertificateListing&)> done);

// The program's sources with their time-out, as windows reach them through
// the context (the certificates window, the start-up notice).
class CertificateSearch {
public:
    CertificateSearch(CertificateSourceList sources, std::chrono::milliseconds timeout)
        : m_sources(std::move(sources)), m_timeout(timeout) {}
    const CertificateSourceList& sources() const { return m_sources; }
    std::chrono::milliseconds timeout() const { return m_timeout; }

private:
    CertificateSourceList m_sources;
    std::chrono::milliseconds m_timeout;
};

// Names of the places where certificates are looked for on this machine:
// "Pasta do programa", each PKCS#11 module registered with p11-kit, each NSS
// database found under home. Reads the module list in the reader child but
// starts no module; blocks up to 10 s when that child hangs.
QStringList certificateSourceNames(const QString& home);
