// The program's version and the captions built from it, kept in one place so
// the opening window, the main window, the About window, the error report and
// the terminal answers always agree.
#pragma once

#include "base/ProgramVersion.h"

#include <QString>

namespace ProgramInfo {

// Version text as the installation's info.dip carries it (both are written
// from the project's version when the program is built).
inline QString version() {
    return QString::fromLatin1(kVersion);
}

// Caption of the opening and main windows.
inline QString mainCaption() {
    return QStringLiteral("GIA - Prefeitura Municipal de Valdoria - Versão ") + version();
}

// Program title with version, as the About window shows it.
inline QString title() {
    return QStringLiteral("ICMS - GIA - ") + version();
}

} // namespace ProgramInfo
