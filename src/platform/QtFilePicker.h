// The open-file dialog of the desktop, modal to the active window.
#pragma once

#include "platform/FilePicker.h"

class QtFilePicker : public FilePicker {
public:
    std::optional<QString> openFile(const OpenFileRequest& request) override;
    std::optional<QString> saveFile(const OpenFileRequest& request) override;
};
