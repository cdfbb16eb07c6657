// The open-file and save-file dialogs as the windows ask for them. Windows never call
// QFileDialog directly: the program backs this with the desktop's dialog,
// tests with a fake that answers from a script.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

struct OpenFileRequest {
    QString title;         // dialog caption
    QString filter;        // Qt name filter, e.g. "Arquivos exportados do NovaGIA (*.mdb)"
    QString defaultSuffix; // added to a typed name without one, e.g. "mdb"

    bool operator==(const OpenFileRequest&) const = default;
};

class FilePicker {
public:
    virtual ~FilePicker() = default;
    // Lets the user choose one existing file and waits. Returns its full
    // path, or nullopt when the user cancels. Never throws.
    virtual std::optional<QString> openFile(const OpenFileRequest& request) = 0;
    // Lets the user name a file to write (an existing one is confirmed by the
    // dialog) and waits. Returns its full path, or nullopt when the user
    // cancels. Never throws.
    virtual std::optional<QString> saveFile(const OpenFileRequest& request) = 0;
    // Lets the user choose several existing files and waits. Returns their
    // full paths; none when the user cancels. Never throws.
    virtual QStringList openFiles(const OpenFileRequest& request) = 0;
    // Lets the user choose a folder, the dialog opening at `start`, and
    // waits. Returns its full path, or nullopt when the user cancels. Never
    // throws.
    virtual std::optional<QString> openFolder(const QString& title, const QString& start) = 0;
};
