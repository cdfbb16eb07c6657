// A digest that no longer stands for its file although the file's size and
// modification time still match it: what a tool that rewrites a file and
// restores its times leaves behind (an unzip, a copy keeping times).
#pragma once

#include "archive/SentArchive.h"
#include "support/WaitFor.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace dadav::test {

// Digests the file at `path`, then rewrites it with `bytes` (its size) and
// puts its modification time back. The digest is marked as made long
// enough after the file's last change to be reused, as one of an older file
// would be; only the status-change time, which no tool can put back, tells
// the file changed.
inline SentArchive::Digest staleDigest(const QString& path, const QByteArray& bytes) {
    std::optional<SentArchive::Digest> before = SentArchive::digestFile(path);
    EXPECT_TRUE(before && before->size == bytes.size());
    if (!before)
        return {};
    before->tooRecent = false;
    // The file system's clock moves in steps: write until the change shows.
    EXPECT_TRUE(waitFor([&] {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size() ||
            !f.flush())
            return false;
        f.setFileTime(before->modified, QFileDevice::FileModificationTime);
        f.close();
        const QFileInfo now(path);
        return now.lastModified() == before->modified &&
               now.metadataChangeTime() != before->statusChanged;
    }));
    return *before;
}

} // namespace dadav::test
