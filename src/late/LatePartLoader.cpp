// Loading the late part (built into the program, not into the module).
#include "late/LatePart.h"

#include "base/HelperProgram.h"
#include "base/RuntimeError.h"

#include <QLibrary>

namespace {

const QString kModule = QStringLiteral("dadav-programa.so");

} // namespace

LatePart& LatePartLoader::load() {
    static LatePart* part = nullptr;
    if (part)
        return *part;
    const QString file = HelperProgram::findModule(kModule);
    if (file.isEmpty())
        throw RuntimeError(0, QStringLiteral("dadav"),
                           QStringLiteral("Não foi encontrado o arquivo %1, parte do programa. "
                                          "Instale o programa novamente.")
                               .arg(kModule));
    QLibrary library(file);
    // Never unloaded: its windows and objects live until the process ends.
    // Every symbol is bound now, so that a module that does not match the
    // program fails here, with its reason, and not in the middle of a window.
    library.setLoadHints(QLibrary::PreventUnloadHint | QLibrary::ResolveAllSymbolsHint);
    const auto entry = reinterpret_cast<LatePart* (*)()>(library.resolve("dadav_late_part"));
    if (!entry)
        throw RuntimeError(0, QStringLiteral("dadav"),
                           QStringLiteral("Não foi possível carregar %1: %2. Instale o programa "
                                          "novamente.")
                               .arg(file, library.errorString()));
    part = entry();
    return *part;
}
