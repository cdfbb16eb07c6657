// The browser for window tests: records every address it is asked to open
// and answers with a chosen result.
#pragma once

#include "platform/UrlOpener.h"

#include <QStringList>

class FakeUrlOpener : public UrlOpener {
public:
    // What open() answers from now on (true unless set).
    void setResult(bool result) { m_result = result; }

    bool open(const QString& url) override {
        m_opened << url;
        return m_result;
    }

    bool openFile(const QString& path) override {
        m_opened << path;
        return m_result;
    }

    // Addresses and file paths, in the order they were asked for.
    const QStringList& opened() const { return m_opened; }

private:
    QStringList m_opened;
    bool m_result = true;
};
