// Showing a folder of this computer in the desktop's file manager, behind an
// interface so that window tests record the folder instead of opening one.
#pragma once

#include <QString>

class FolderOpener {
public:
    virtual ~FolderOpener() = default;
    // Shows the existing folder at path. Returns false when it could not be
    // shown; never shows a message of its own.
    virtual bool openFolder(const QString& path) = 0;
};
