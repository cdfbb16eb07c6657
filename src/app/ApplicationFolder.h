// Where the client keeps dadav.ini, info.dip, dadav.mdb and temp/.
//
// A portable copy (the executable with a dadav.ini beside it, in a folder the
// user may write) keeps everything beside the program. An installed copy,
// whose program folder is not writable or which has its settings only in the
// installation's data folder (<prefix>/share/dadav), uses the user's own data
// folder instead, seeded on first start with the installed dadav.ini and
// info.dip. A bare writable folder without either (a development build) is
// used as it is.
#pragma once

#include <QString>

namespace ApplicationFolder {

struct Inputs {
    QString programFolder;        // folder of the executable
    bool programFolderWritable{}; // whether a file can be created there
    QString installedDataFolder;  // e.g. <prefix>/share/dadav (may not exist)
    QString userDataFolder;       // the user's data folder for this program
};

struct Choice {
    QString folder;        // the application folder to use
    bool portable = false; // true when it is the program's own folder
};

// Chooses the folder and, when it is the user's data folder, creates it (the
// user's alone, 0700, an existing one made so too) and seeds it (0600): dadav.ini is copied only
// when the user has none (the user's edits survive); info.dip is the installation's version text,
// so it is replaced whenever the installed one differs (an upgrade is then seen as current). Throws
// RuntimeError when the user's data folder cannot be created or a seed file cannot be copied into
// it.
Choice choose(const Inputs& in);

// Whether a file can really be created in the folder (tries one; permission
// bits alone mislead for privileged users and read-only mounts).
bool canCreateFileIn(const QString& folder);

} // namespace ApplicationFolder
