// The file manager for window tests: records every folder it is asked to
// show and answers with a chosen result.
#pragma once

#include "platform/FolderOpener.h"

#include <QStringList>

class FakeFolderOpener : public FolderOpener {
public:
    // What openFolder() answers from now on (true unless set).
    void setResult(bool result) { m_result = result; }

    bool openFolder(const QString& path) override {
        m_opened << path;
        return m_result;
    }

    const QStringList& opened() const { return m_opened; }

private:
    QStringList m_opened;
    bool m_result = true;
};
