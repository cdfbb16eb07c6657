// The open-file, save-file and folder dialogs of the desktop, modal to the active window.
#pragma once

#include "platform/FilePicker.h"

class QtFilePicker : public FilePicker {
public:
    std::optional<QString> openFile(const OpenFileRequest& request) override;
    std::optional<QString> saveFile(const OpenFileRequest& request) override;
    QStringList openFiles(const OpenFileRequest& request) override;
    std::optional<QString> openFolder(const QString& title, const QString& start) override;
};
