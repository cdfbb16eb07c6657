// Helpers of the store tests: a database file in a temporary folder and a
// raw look at what is stored, bypassing the functions under test.
#pragma once

#include "store/LocalDb.h"

#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>
#include <gtest/gtest.h>

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString dbPath() const { return dir.filePath(QStringLiteral("dadav.mdb")); }

    // The single value `sql` selects, read through the connection as stored.
    static QVariant scalar(LocalDb& db, const QString& sql) {
        QSqlQuery query(db.database());
        EXPECT_TRUE(query.exec(sql)) << sql.toStdString();
        EXPECT_TRUE(query.next()) << sql.toStdString();
        return query.value(0);
    }

    static void run(LocalDb& db, const QString& sql) {
        QSqlQuery query(db.database());
        ASSERT_TRUE(query.exec(sql)) << sql.toStdString();
    }

    QTemporaryDir dir;
};
