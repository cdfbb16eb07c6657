// A test whose application folder is a fresh temporary folder, with a helper
// that writes the settings file there.
#pragma once

#include "base/AppPaths.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

class AppFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        AppPaths::setApplicationFolder(dir.path());
    }

    // Replaces dadav.ini with exactly these bytes.
    void writeIni(const QByteArray& content) {
        QFile f(AppPaths::IniPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(content), content.size());
    }

    QTemporaryDir dir;
};
