// The desktop's open-file dialog behind FilePicker.
#include "platform/QtFilePicker.h"

#include <QApplication>
#include <QFileDialog>
#include <QStringList>

std::optional<QString> QtFilePicker::openFile(const OpenFileRequest& request) {
    QFileDialog dialog(QApplication::activeWindow(), request.title, QString(), request.filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty())
        return std::nullopt;
    return files.first();
}

std::optional<QString> QtFilePicker::saveFile(const OpenFileRequest& request) {
    QFileDialog dialog(QApplication::activeWindow(), request.title, QString(), request.filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty())
        return std::nullopt;
    return files.first();
}
