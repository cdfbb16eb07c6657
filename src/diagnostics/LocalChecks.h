// The diagnostics' checks of this computer, which need no network: where the
// certificates can come from, the OpenSSL legacy provider, and the
// application folder with its free space. Each returns its finished step,
// timed; none throws.
#pragma once

#include "certificates/CertificateSource.h"
#include "diagnostics/DiagnosticStep.h"

namespace LocalChecks {

// What a listing of the certificate sources found (the listing the selection
// dialog makes): how many certificates, how many in each place, the own
// folder's path, the token modules and browser databases on this machine
// (home), and each source that failed or hung, named. Attention when no
// source holds a certificate; Failed when a source could not be read. The
// time is the caller's (the listing ran before).
DiagnosticStep certificateSources(const CertificateListing& listing,
                                  const QString& certificateFolder, const QString& home);

// Whether OpenSSL's legacy provider, which opens PKCS#12 files made by older
// tools, can be loaded; Attention when it cannot.
DiagnosticStep legacyProvider();

// The application folder, whether the program can write there, its free
// space, and where the support log is. Failed when the folder cannot be
// written; Attention under kLowSpaceBytes free.
DiagnosticStep applicationFolder(const QString& folder, const QString& logFolder);

inline constexpr qint64 kLowSpaceBytes = 100LL * 1024 * 1024;

} // namespace LocalChecks
