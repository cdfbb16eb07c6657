// Fuzz target for the ZIP unpacker: whatever the archive holds, unpacking
// either succeeds or throws RuntimeError, and nothing is ever written outside
// the target folder.
#include "base/RuntimeError.h"
#include "platform/ArchiveUnpack.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QTemporaryDir root;
    if (!root.isValid())
        std::abort();
    const QString zipPath = root.filePath(QStringLiteral("input.zip"));
    const QString out = root.filePath(QStringLiteral("sandbox/temp"));
    QDir(root.filePath(QStringLiteral("sandbox"))).removeRecursively();
    {
        QFile f(zipPath);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    ArchiveUnpack::Limits limits;
    limits.maxTotalBytes = 1 << 20;
    limits.maxEntries = 1000;
    try {
        ArchiveUnpack::unpack(zipPath, out, limits);
    } catch (const RuntimeError&) {
        // refused or unreadable: fine, as long as nothing escaped
    }
    QDirIterator it(root.path(),
                    QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path != zipPath && path != root.filePath(QStringLiteral("sandbox")) &&
            !path.startsWith(out))
            std::abort();
    }
    return 0;
}
