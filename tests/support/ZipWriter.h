// Test helper: writes a ZIP archive with libzip from (name, bytes) entries; a
// name ending in "/" is a folder. Names are stored as given, "../" included,
// so tests can build archives that try to leave their folder.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <gtest/gtest.h>
#include <zip.h>

#include <string>
#include <utility>
#include <vector>

namespace dadav::test {

using ZipEntries = std::vector<std::pair<std::string, QByteArray>>;

inline void writeZip(const QString& path, const ZipEntries& entries) {
    int error = 0;
    zip_t* z = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(z, nullptr) << "libzip error " << error;
    for (const auto& [name, bytes] : entries) {
        if (!name.empty() && name.back() == '/') {
            ASSERT_GE(zip_dir_add(z, name.c_str(), ZIP_FL_ENC_UTF_8), 0);
            continue;
        }
        // The buffer is read at zip_close; the caller's bytes outlive it.
        zip_source_t* src = zip_source_buffer(z, bytes.constData(), bytes.size(), 0);
        ASSERT_NE(src, nullptr);
        ASSERT_GE(zip_file_add(z, name.c_str(), src, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE), 0);
    }
    ASSERT_EQ(zip_close(z), 0);
}

} // namespace dadav::test
