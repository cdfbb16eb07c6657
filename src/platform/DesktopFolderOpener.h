// The desktop's file manager, reached through QDesktopServices.
#pragma once

#include "platform/FolderOpener.h"

class DesktopFolderOpener : public FolderOpener {
public:
    // Hands a file: address of path to the desktop; false for a path that is
    // not an existing folder, or when the desktop has no handler.
    bool openFolder(const QString& path) override;
};
