// Entry point of the core test executables: an event loop for network and
// timer tests, then GoogleTest.
#include "SanitizerDefaults.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
