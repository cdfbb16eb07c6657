// Opening a web address in the desktop's browser, or a local file, behind an interface so
// that window tests record the address instead of starting a browser.
#pragma once

#include <QString>

class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    // Opens `url` in the browser. Returns false when it could not be opened;
    // never shows a message of its own.
    virtual bool open(const QString& url) = 0;
    // Opens a file of this machine (an archived PDF, say) with the desktop's
    // program for its type. Returns false when it does not exist or could
    // not be opened; never shows a message of its own.
    virtual bool openFile(const QString& path) = 0;
};
