// Where the client finds its helper children (the Access reader, the
// certificate reader) and its late part's module: beside the executable in a
// portable copy or a build tree, or in the installed libexec folder.
#pragma once

#include <QString>

namespace HelperProgram {

// The absolute path of the executable file `name` beside the running program
// or in the installed helper folder, in that order; empty when neither holds
// one. Needs a QCoreApplication.
QString find(const QString& name);

// The same places for a file the program loads rather than starts (the late
// part's module), which need not be executable.
QString findModule(const QString& name);

} // namespace HelperProgram
