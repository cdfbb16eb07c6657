// ZIP unpacking with libzip, confined to the target folder.
#include "platform/ArchiveUnpack.h"

#include "base/RuntimeError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

#include <zip.h>

#include <memory>
#include <vector>

namespace {

const QString kSource = QStringLiteral("ArchiveUnpack");

[[noreturn]] void fail(const QString& description) {
    throw RuntimeError(-1, kSource, description);
}

struct ZipCloser {
    void operator()(zip_t* z) const { zip_discard(z); }
};
struct ZipFileCloser {
    void operator()(zip_file_t* f) const { zip_fclose(f); }
};

QString libzipText(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    const QString text = QString::fromUtf8(zip_error_strerror(&error));
    zip_error_fini(&error);
    return text;
}

QStringList components(const QString& entryName) {
    QString name = entryName;
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    QStringList parts;
    for (const QString& part : name.split(QLatin1Char('/'), Qt::SkipEmptyParts))
        if (part != QLatin1String("."))
            parts << part;
    return parts;
}

// Creates dest/parts[0]/.../parts[n-1] one level at a time, refusing to walk
// through a symbolic link that could lead out of dest.
QString makeFolders(const QString& dest, const QStringList& parts, const QString& entryName) {
    QString path = dest;
    for (const QString& part : parts) {
        path += QLatin1Char('/') + part;
        const QFileInfo info(path);
        if (info.isSymLink())
            fail(QStringLiteral("O arquivo compactado grava através de um atalho: %1")
                     .arg(entryName));
        if (info.isDir())
            continue;
        if (info.exists() || !QDir().mkdir(path))
            fail(QStringLiteral("Não foi possível criar a pasta %1.")
                     .arg(QDir::toNativeSeparators(path)));
    }
    return path;
}

} // namespace

namespace ArchiveUnpack {

bool isConfinedName(const QString& entryName) {
    if (entryName.isEmpty() || entryName.startsWith(QLatin1Char('/')) ||
        entryName.startsWith(QLatin1Char('\\')))
        return false;
    static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:"));
    if (drive.match(entryName).hasMatch())
        return false;
    const QStringList parts = components(entryName);
    if (parts.isEmpty())
        return false;
    for (const QString& part : parts)
        if (part == QLatin1String(".."))
            return false;
    return true;
}

Result unpack(const QString& zipPath, const QString& destFolder, const Limits& limits) {
    int code = 0;
    std::unique_ptr<zip_t, ZipCloser> archive(
        zip_open(QFile::encodeName(zipPath).constData(), ZIP_RDONLY, &code));
    if (!archive)
        fail(QStringLiteral("O arquivo %1 não pôde ser aberto como ZIP (%2).")
                 .arg(QDir::toNativeSeparators(zipPath), libzipText(code)));

    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    if (count < 0 || count > limits.maxEntries)
        fail(QStringLiteral("O arquivo compactado tem entradas demais (%1).").arg(count));

    // Every name is judged before the first byte is written.
    struct Entry {
        zip_uint64_t index;
        QString name;
        bool folder;
    };
    std::vector<Entry> entries;
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        const char* raw = zip_get_name(archive.get(), index, ZIP_FL_ENC_GUESS);
        if (!raw)
            fail(QStringLiteral("O arquivo compactado está danificado (%1).")
                     .arg(QString::fromUtf8(zip_strerror(archive.get()))));
        const QString name = QString::fromUtf8(raw);
        if (!isConfinedName(name))
            fail(QStringLiteral("O arquivo compactado contém um caminho não permitido: %1")
                     .arg(name));
        const bool folder = name.endsWith(QLatin1Char('/')) || name.endsWith(QLatin1Char('\\'));
        entries.push_back({index, name, folder});
    }

    if (!QDir().mkpath(destFolder))
        fail(QStringLiteral("Não foi possível criar a pasta %1.")
                 .arg(QDir::toNativeSeparators(destFolder)));
    const QString dest = QDir::cleanPath(QFileInfo(destFolder).absoluteFilePath());

    Result result;
    std::vector<char> buffer(64 * 1024);
    for (const Entry& entry : entries) {
        QStringList parts = components(entry.name);
        if (entry.folder) {
            makeFolders(dest, parts, entry.name);
            continue;
        }
        const QString fileName = parts.takeLast();
        const QString folder = makeFolders(dest, parts, entry.name);
        const QString target = folder + QLatin1Char('/') + fileName;

        // Whatever lies at the target (an older copy, a link) is replaced, never
        // written through.
        const QFileInfo existing(target);
        if (existing.isDir() && !existing.isSymLink())
            fail(QStringLiteral("Não foi possível gravar %1: já existe uma pasta com esse nome.")
                     .arg(QDir::toNativeSeparators(target)));
        if ((existing.exists() || existing.isSymLink()) && !QFile::remove(target))
            fail(QStringLiteral("Não foi possível substituir %1.")
                     .arg(QDir::toNativeSeparators(target)));

        std::unique_ptr<zip_file_t, ZipFileCloser> in(
            zip_fopen_index(archive.get(), entry.index, 0));
        if (!in)
            fail(QStringLiteral("Não foi possível ler %1 do arquivo compactado (%2).")
                     .arg(entry.name, QString::fromUtf8(zip_strerror(archive.get()))));
        QFile out(target);
        if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            fail(QStringLiteral("Não foi possível gravar %1: %2")
                     .arg(QDir::toNativeSeparators(target), out.errorString()));
        for (;;) {
            const zip_int64_t n = zip_fread(in.get(), buffer.data(), buffer.size());
            if (n < 0)
                fail(QStringLiteral("O arquivo compactado está danificado em %1 (%2).")
                         .arg(entry.name, QString::fromUtf8(zip_file_strerror(in.get()))));
            if (n == 0)
                break;
            result.bytes += n;
            if (result.bytes > limits.maxTotalBytes) {
                out.close();
                out.remove();
                fail(QStringLiteral("O conteúdo descompactado passa do limite de %1 bytes.")
                         .arg(limits.maxTotalBytes));
            }
            if (out.write(buffer.data(), n) != n)
                fail(QStringLiteral("Não foi possível gravar %1: %2")
                         .arg(QDir::toNativeSeparators(target), out.errorString()));
        }
        if (!out.flush())
            fail(QStringLiteral("Não foi possível gravar %1: %2")
                     .arg(QDir::toNativeSeparators(target), out.errorString()));
        ++result.files;
    }
    return result;
}

} // namespace ArchiveUnpack
