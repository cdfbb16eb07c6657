// The program's version and the captions built from it, kept in one place so
// the opening window, the main window and the About window always agree.
#pragma once

#include <QString>

namespace ProgramInfo {

// Version text as the installation's info.dip carries it.
inline QString version() {
    return QStringLiteral("1.16.01");
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
