// The desktop's open-file dialog behind FilePicker: what it shows and what
// it answers when the user chooses a file or cancels.
#include "platform/QtFilePicker.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

TEST(QtFilePicker, ShowsTheRequestAndReturnsTheChosenFileOrNothing) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("exportação.mdb"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const OpenFileRequest request{QStringLiteral("Escolha o arquivo"),
                                  QStringLiteral("Arquivos exportados do NovaGIA (*.mdb)"),
                                  QStringLiteral("mdb")};

    for (const bool choose : {true, false}) {
        SCOPED_TRACE(choose ? "chosen" : "cancelled");
        QString title;
        QStringList filters;
        QString suffix;
        // Runs inside the dialog's own event loop, once it is up.
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            title = dialog->windowTitle();
            filters = dialog->nameFilters();
            suffix = dialog->defaultSuffix();
            if (choose) {
                dialog->setDirectory(dir.path());
                dialog->selectFile(path);
                static_cast<QDialog*>(dialog)->accept(); // as the Open button does
            } else {
                dialog->reject();
            }
        });
        QtFilePicker picker;
        const std::optional<QString> answer = picker.openFile(request);
        EXPECT_EQ(title, request.title);
        EXPECT_EQ(filters, QStringList{request.filter});
        EXPECT_EQ(suffix, QStringLiteral("mdb"));
        if (choose)
            EXPECT_EQ(answer, std::optional<QString>(path));
        else
            EXPECT_EQ(answer, std::nullopt);
    }
}

} // namespace
