// Fuzz target for the company export reader: any file, however damaged,
// gives the companies or a RuntimeError, without crashing. The bytes are
// written to a temporary file because the reader, like the import, takes a
// path. Seed it with the export fixtures to get past the signature check.
#include "base/RuntimeError.h"
#include "registry/AccessExportReader.h"

#include <QTemporaryFile>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QTemporaryFile file;
    if (!file.isOpen() && !file.open())
        std::abort();
    if (!file.resize(0) || !file.seek(0) ||
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) !=
            static_cast<qint64>(size) ||
        !file.flush())
        std::abort();
    try {
        const QList<AccessExport::Company> companies = AccessExport::readCompanies(file.fileName());
        static_cast<void>(companies);
    } catch (const RuntimeError&) {
    }
    return 0;
}
