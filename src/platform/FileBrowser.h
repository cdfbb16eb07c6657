// The file browser of the transmission windows: a location list (`Drive1`,
// the root, the home folder, Wine drives and mounted volumes, standing in for
// drive letters), a folder tree (`dir`) and a file list (`file`) over the file
// system. Changing the location roots the tree there; changing the folder
// shows its files; making a file current reports it with fileChosen.
// The tree loads lazily (a whole drive can be large); the file list of the one
// folder shown is read at once, so it is complete as soon as the folder is
// chosen, and read again whenever a folder is chosen (choosing the same folder
// again shows files written since).
#pragma once

#include "platform/BrowseLocations.h"

#include <QList>
#include <QString>
#include <QWidget>

class QComboBox;
class QFileSystemModel;
class QStringListModel;
class QLabel;
class QListView;
class QTreeView;

class FileBrowser : public QWidget {
    Q_OBJECT
public:
    explicit FileBrowser(QWidget* parent = nullptr);

    // Replaces the location list; the first location becomes current.
    void setLocations(const QList<BrowseLocation>& locations);
    const QList<BrowseLocation>& locations() const { return m_locations; }

    // Makes the location with this folder current (adding it when the list
    // lacks it) and roots the folder tree there.
    void setLocation(const QString& path);
    QString location() const;

    // Shows this folder in the tree and its files in the file list.
    void setFolder(const QString& path);
    // The folder whose files the list shows.
    const QString& folder() const { return m_folder; }

    // Handlers: a location picked, a folder picked.
    void Drive1_Change(int index);
    void dir_Change();

    // Controls.
    QLabel* lblDrive;
    QComboBox* Drive1;
    QLabel* lblDir;
    QTreeView* dir;
    QLabel* lblFileList;
    QListView* file;

signals:
    // A file of the list became current (click, keyboard or program).
    void fileChosen(const QString& folder, const QString& name);

private:
    void onFileCurrentChanged();
    // Lists the files of m_folder.
    void showFiles();

    QList<BrowseLocation> m_locations;
    QString m_folder;
    QFileSystemModel* m_folders;
    QStringListModel* m_files;
};
