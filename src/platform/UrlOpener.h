// Opening a web address in the desktop's browser, behind an interface so
// that window tests record the address instead of starting a browser.
#pragma once

#include <QString>

class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    // Opens `url` in the browser. Returns false when it could not be opened;
    // never shows a message of its own.
    virtual bool open(const QString& url) = 0;
};
