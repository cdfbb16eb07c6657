// The desktop's browser, reached through QDesktopServices.
#pragma once

#include "platform/UrlOpener.h"

class DesktopUrlOpener : public UrlOpener {
public:
    // Only http and https addresses are handed to the desktop: an address of
    // any other scheme (file:, a program's handler) returns false unopened.
    bool open(const QString& url) override;
    // Only existing regular files; the path is never read as an address.
    bool openFile(const QString& path) override;

    // Whether `url` would be handed to the desktop.
    static bool isWebAddress(const QString& url);
};
