// Location list, lazily loaded folder tree and the file list of one folder.
#include "platform/FileBrowser.h"

#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QSignalBlocker>
#include <QStringListModel>
#include <QTreeView>

FileBrowser::FileBrowser(QWidget* parent) : QWidget(parent) {
    Drive1 = new QComboBox(this);
    Drive1->setObjectName(QStringLiteral("Drive1"));
    lblDrive = new QLabel(QStringLiteral("&Local"), this);
    lblDrive->setBuddy(Drive1);

    m_folders = new QFileSystemModel(this);
    m_folders->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    m_folders->setReadOnly(true);
    dir = new QTreeView(this);
    dir->setObjectName(QStringLiteral("dir"));
    dir->setModel(m_folders);
    for (int c = 1; c < m_folders->columnCount(); ++c)
        dir->hideColumn(c);
    dir->setHeaderHidden(true);
    dir->setAccessibleName(QStringLiteral("Pastas"));
    lblDir = new QLabel(QStringLiteral("&Pastas"), this);
    lblDir->setBuddy(dir);

    m_files = new QStringListModel(this);
    file = new QListView(this);
    file->setObjectName(QStringLiteral("file"));
    file->setModel(m_files);
    file->setEditTriggers(QAbstractItemView::NoEditTriggers);
    file->setAccessibleName(QStringLiteral("Arquivos"));
    lblFileList = new QLabel(QStringLiteral("A&rquivos"), this);
    lblFileList->setBuddy(file);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(lblDrive, 0, 0);
    grid->addWidget(Drive1, 1, 0, 1, 2);
    grid->addWidget(lblDir, 2, 0);
    grid->addWidget(lblFileList, 2, 1);
    grid->addWidget(dir, 3, 0);
    grid->addWidget(file, 3, 1);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(3, 1);

    connect(Drive1, &QComboBox::currentIndexChanged, this, &FileBrowser::Drive1_Change);
    connect(dir->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { dir_Change(); });
    connect(file->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { onFileCurrentChanged(); });
}

void FileBrowser::setLocations(const QList<BrowseLocation>& locations) {
    m_locations = locations;
    const QSignalBlocker block(Drive1);
    Drive1->clear();
    for (const BrowseLocation& l : locations)
        Drive1->addItem(l.label, l.path);
    if (!locations.isEmpty()) {
        Drive1->setCurrentIndex(0);
        Drive1_Change(0);
    }
}

void FileBrowser::setLocation(const QString& path) {
    const QString clean = QDir::cleanPath(path);
    int index = Drive1->findData(clean);
    if (index < 0) {
        m_locations.append({QDir::toNativeSeparators(clean), clean});
        Drive1->addItem(QDir::toNativeSeparators(clean), clean);
        index = Drive1->count() - 1;
    }
    if (Drive1->currentIndex() == index)
        Drive1_Change(index);
    else
        Drive1->setCurrentIndex(index); // runs Drive1_Change
}

QString FileBrowser::location() const {
    return Drive1->currentData().toString();
}

void FileBrowser::Drive1_Change(int index) {
    if (index < 0)
        return;
    const QString root = Drive1->itemData(index).toString();
    m_folders->setRootPath(root);
    dir->setRootIndex(m_folders->index(root));
    setFolder(root);
}

void FileBrowser::setFolder(const QString& path) {
    const QString clean = QDir::cleanPath(path);
    const QModelIndex index = m_folders->index(clean);
    if (index.isValid() && dir->currentIndex() != index) {
        dir->setCurrentIndex(index); // runs dir_Change
        dir->scrollTo(index);
        return;
    }
    m_folder = clean;
    showFiles();
}

void FileBrowser::dir_Change() {
    const QModelIndex index = dir->currentIndex();
    if (!index.isValid())
        return;
    m_folder = m_folders->filePath(index);
    showFiles();
}

void FileBrowser::showFiles() {
    const QStringList names =
        QDir(m_folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    if (names != m_files->stringList()) {
        // Keep the current file current when the same folder is listed again.
        const QString current = file->currentIndex().data().toString();
        const QSignalBlocker block(file->selectionModel());
        m_files->setStringList(names);
        const qsizetype row = names.indexOf(current);
        if (row >= 0)
            file->setCurrentIndex(m_files->index(static_cast<int>(row)));
    }
}

void FileBrowser::onFileCurrentChanged() {
    const QModelIndex index = file->currentIndex();
    if (!index.isValid())
        return;
    emit fileChosen(m_folder, index.data().toString());
}
