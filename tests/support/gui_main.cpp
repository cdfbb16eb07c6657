// Entry point of the window test executables. Tests always run headless: the
// offscreen platform is forced unless the caller chose one. Access files are
// read by the reader child of this build.
#include "SanitizerDefaults.h"

#include "access/MdbChild.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    MdbChild::setProgram(QStringLiteral(DADAV_MDB_HELPER));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
