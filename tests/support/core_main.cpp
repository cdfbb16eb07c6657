// Entry point of the core test executables: an event loop for network and
// timer tests, the reader children (Access, certificates) of this build, then
// GoogleTest.
#include "SanitizerDefaults.h"

#include "access/MdbChild.h"
#include "certificates/CertificateChild.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    MdbChild::setProgram(QStringLiteral(DADAV_MDB_HELPER));
    CertificateChild::setProgram(QStringLiteral(DADAV_CERT_HELPER));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
