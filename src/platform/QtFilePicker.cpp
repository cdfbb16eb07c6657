// The desktop's open-file and save-file dialogs behind FilePicker.
#include "platform/QtFilePicker.h"

#include <QApplication>
#include <QFileDialog>
#include <QStringList>

namespace {

std::optional<QString> runDialog(const OpenFileRequest& request, QFileDialog::AcceptMode accept,
                                 QFileDialog::FileMode mode) {
    QFileDialog dialog(QApplication::activeWindow(), request.title, QString(), request.filter);
    dialog.setAcceptMode(accept);
    dialog.setFileMode(mode);
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty())
        return std::nullopt;
    return files.first();
}

} // namespace

std::optional<QString> QtFilePicker::openFile(const OpenFileRequest& request) {
    return runDialog(request, QFileDialog::AcceptOpen, QFileDialog::ExistingFile);
}

std::optional<QString> QtFilePicker::saveFile(const OpenFileRequest& request) {
    return runDialog(request, QFileDialog::AcceptSave, QFileDialog::AnyFile);
}

QStringList QtFilePicker::openFiles(const OpenFileRequest& request) {
    QFileDialog dialog(QApplication::activeWindow(), request.title, QString(), request.filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

std::optional<QString> QtFilePicker::openFolder(const QString& title, const QString& start) {
    QFileDialog dialog(QApplication::activeWindow(), title, start);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().first();
}
