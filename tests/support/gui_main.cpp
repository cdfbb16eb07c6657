// Entry point of the window test executables. Tests always run headless: the
// offscreen platform is forced unless the caller chose one. Access files and
// certificates are read by the reader children of this build.
#include "SanitizerDefaults.h"

#include "access/MdbChild.h"
#include "certificates/CertificateChild.h"
#include "shell/Application.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The program's own application object, so windows are never deleted
    // under their own handlers here either.
    Application app(argc, argv);
    MdbChild::setProgram(QStringLiteral(DADAV_MDB_HELPER));
    CertificateChild::setProgram(QStringLiteral(DADAV_CERT_HELPER));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
