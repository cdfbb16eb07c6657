// The diagnostics' checks of this computer, which need no network: where the
// certificates can come from, the OpenSSL legacy provider, and the
// application folder with its free space. Each returns its finished step,
// timed; none throws.
#pragma once

#include "diagnostics/DiagnosticStep.h"

namespace LocalChecks {

// The certificate sources the program can read, each with what it holds. Today
// the client's own store at certificateFolder (CertificateStore); further
// sources (tokens, the browsers' stores) are added here, one line of detail
// each. Attention when no source holds a certificate; Failed when a source
// exists but cannot be read.
DiagnosticStep certificateSources(const QString& certificateFolder, const QString& home);

// Whether OpenSSL's legacy provider, which opens PKCS#12 files made by older
// tools, can be loaded; Attention when it cannot.
DiagnosticStep legacyProvider();

// The application folder, whether the program can write there, its free
// space, and where the support log is. Failed when the folder cannot be
// written; Attention under kLowSpaceBytes free.
DiagnosticStep applicationFolder(const QString& folder, const QString& logFolder);

inline constexpr qint64 kLowSpaceBytes = 100LL * 1024 * 1024;

} // namespace LocalChecks
