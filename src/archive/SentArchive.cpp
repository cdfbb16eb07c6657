// The local archive: records as small JSON files, beside the copies verified
// by their SHA-256.
#include "archive/SentArchive.h"

#include "base/AppPaths.h"
#include "base/PrivateFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace {

// SHA-256 of the files sent, by the system's crypto library: several times
// faster than Qt's own, and a batch hashes every file it sends on the
// window's thread (the digest before sending, the verified copy).
class Sha256 {
public:
    Sha256() : m_context(EVP_MD_CTX_new(), &EVP_MD_CTX_free) {
        if (!m_context || EVP_DigestInit_ex(m_context.get(), EVP_sha256(), nullptr) != 1)
            throw std::bad_alloc();
    }
    void add(const QByteArray& bytes) {
        EVP_DigestUpdate(m_context.get(), bytes.constData(), std::size_t(bytes.size()));
    }
    // Lower-case hexadecimal, as Qt's hash wrote it.
    QString hex() {
        unsigned char out[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        EVP_DigestFinal_ex(m_context.get(), out, &length);
        return QString::fromLatin1(
            QByteArray(reinterpret_cast<const char*>(out), int(length)).toHex());
    }

private:
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> m_context;
};

} // namespace

namespace SentArchive {

namespace {

constexpr qint64 kChunk = 256 * 1024;
const QString kRecordSuffix = QStringLiteral(".json");
const QString kTimeFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss");

// Letters, digits, "-", "_" and "." survive; anything else (separators
// included) becomes "_", so no name can leave its folder.
QString safeName(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text)
        out += (c.isLetterOrNumber() || c == u'-' || c == u'_' || c == u'.') ? c : QChar(u'_');
    while (out.startsWith(u'.'))
        out[0] = u'_';
    return out.isEmpty() ? QStringLiteral("_") : out;
}

QJsonObject toJson(const Record& r) {
    return {{QStringLiteral("enviadoEm"), r.sentAt.toString(kTimeFormat)},
            {QStringLiteral("ie"), r.ie},
            {QStringLiteral("tipo"), r.kind},
            {QStringLiteral("referencias"), r.references},
            {QStringLiteral("arquivo"), r.fileName},
            {QStringLiteral("sha256"), r.sha256},
            {QStringLiteral("tamanho"), r.size},
            {QStringLiteral("resultado"), r.result},
            {QStringLiteral("resposta"), r.reply},
            {QStringLiteral("envioCompleto"), r.wholeRequestSent}};
}

std::optional<Record> fromJson(const QString& recordPath) {
    QFile f(recordPath);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonDocument doc = QJsonDocument::fromJson(f.read(1 << 20));
    if (!doc.isObject())
        return std::nullopt;
    const QJsonObject o = doc.object();
    Record r;
    r.sentAt = QDateTime::fromString(o.value(QStringLiteral("enviadoEm")).toString(), kTimeFormat);
    r.ie = o.value(QStringLiteral("ie")).toString();
    r.kind = o.value(QStringLiteral("tipo")).toString();
    r.references = o.value(QStringLiteral("referencias")).toString();
    r.fileName = o.value(QStringLiteral("arquivo")).toString();
    r.sha256 = o.value(QStringLiteral("sha256")).toString();
    // Records of earlier versions kept the size as a text.
    const QJsonValue size = o.value(QStringLiteral("tamanho"));
    r.size = size.isString() ? size.toString().toLongLong() : size.toInteger();
    r.result = o.value(QStringLiteral("resultado")).toString();
    r.reply = o.value(QStringLiteral("resposta")).toString();
    r.wholeRequestSent = o.value(QStringLiteral("envioCompleto")).toBool(true);
    r.recordFile = recordPath;
    const QString copy = recordPath.chopped(kRecordSuffix.size());
    if (QFileInfo(copy).isFile())
        r.archivedFile = copy;
    if (!r.sentAt.isValid() || r.sha256.isEmpty())
        return std::nullopt;
    return r;
}

// A name in `folder` not taken yet, from `base` ("<stamp>-<name>").
QString freeName(const QDir& folder, const QString& base) {
    QString name = base;
    for (int n = 2; QFileInfo::exists(folder.filePath(name)) ||
                    QFileInfo::exists(folder.filePath(name + kRecordSuffix));
         ++n)
        name = QString::number(n) + QLatin1Char('-') + base;
    return name;
}

} // namespace

QString rootFolder() {
    return QDir(AppPaths::applicationFolder()).filePath(QStringLiteral("arquivo"));
}

QString monthFolder(const QString& ie, const QDateTime& when) {
    return QDir(rootFolder())
        .filePath(safeName(ie) + QLatin1Char('/') + when.toString(QStringLiteral("yyyy-MM")));
}

namespace {

// How long after a change a file's times may still not show a further one:
// they move in steps of the file system's clock (a few milliseconds on
// Linux, two seconds on FAT), so a digest of a file changed within this
// time is not trusted to stay current.
constexpr qint64 kTimeStepMs = 2000;

} // namespace

QString notRegularText() {
    return QStringLiteral("não é um arquivo comum");
}

std::optional<Digest> digestFile(const QString& path, QString* error) {
    const auto fail = [&](const QString& why) -> std::optional<Digest> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    // A FIFO, a device or a folder is refused before it is opened: opening
    // a FIFO without a writer blocks, and /dev/zero never ends. Opened
    // without blocking, then judged again by what was opened, in case the
    // name was replaced in between.
    const QByteArray name = QFile::encodeName(path);
    struct stat before {};
    if (::stat(name.constData(), &before) != 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    if (!S_ISREG(before.st_mode))
        return fail(notRegularText());
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        ::close(fd);
        return fail(notRegularText());
    }
    QFile f;
    if (!f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(f.errorString());
    }
    Digest d;
    const QDateTime readAt = QDateTime::currentDateTimeUtc();
    const QFileInfo info(path);
    d.modified = info.lastModified();
    d.statusChanged = info.metadataChangeTime();
    d.tooRecent = !d.modified.isValid() || !d.statusChanged.isValid() ||
                  qMax(d.modified, d.statusChanged).msecsTo(readAt) < kTimeStepMs;
    Sha256 hash;
    while (!f.atEnd()) {
        const QByteArray piece = f.read(kChunk);
        if (piece.isEmpty() && f.error() != QFile::NoError) {
            if (error)
                *error = f.errorString();
            return std::nullopt;
        }
        hash.add(piece);
        d.size += piece.size();
    }
    d.sha256 = hash.hex();
    return d;
}

bool stillCurrent(const Digest& digest, const QString& path) {
    if (digest.tooRecent || digest.sha256.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.isFile() && info.size() == digest.size && info.lastModified() == digest.modified &&
           info.metadataChangeTime() == digest.statusChanged;
}

bool serverMayHoldIt(const Record& record) {
    return record.result == kAccepted || (record.result == kNoReply && record.wholeRequestSent);
}

class StagedCopy {
public:
    // The copy is made in the folder the record will most likely go to, so
    // keeping it is a link and at most a rename there.
    QString target;
    QSaveFile file;
    explicit StagedCopy(const QString& path) : target(path), file(path) {}
};

namespace {

QString readFailure(const QString& sourcePath, const QFile& source) {
    return QStringLiteral("não foi possível ler %1: %2")
        .arg(QDir::toNativeSeparators(sourcePath), source.errorString());
}

QString writeFailure(const QString& target, const QFileDevice& copy) {
    return QStringLiteral("não foi possível gravar em %1: %2")
        .arg(QDir::toNativeSeparators(QFileInfo(target).path()), copy.errorString());
}

// Copies `sourcePath` into the open `copy`, hashing the bytes as they go: the
// copy must hold `sha256`, the bytes sent. The hash of what was handed to the
// copy is the proof: reading the copy back right after writing it would read
// the page cache, the same memory just written, and prove nothing more (a
// disk that loses or garbles it later is not seen by reading back now).
// A copy inside the kernel (copy_file_range) would not be cheaper: the bytes
// must pass through here once anyway to be hashed, and hashing the copy
// instead would be that read-back. Empty on success.
QString copyHashed(const QString& sourcePath, QSaveFile& copy, const QString& sha256) {
    QFile source(sourcePath);
    if (!source.open(QIODevice::ReadOnly))
        return readFailure(sourcePath, source);
    Sha256 hash;
    while (!source.atEnd()) {
        const QByteArray piece = source.read(kChunk);
        if (piece.isEmpty() && source.error() != QFile::NoError)
            return readFailure(sourcePath, source);
        hash.add(piece);
        if (copy.write(piece) != piece.size())
            return writeFailure(copy.fileName(), copy);
    }
    // The copy stands for what was sent; other bytes would make it a lie.
    if (hash.hex() != sha256)
        return QStringLiteral("o arquivo %1 foi alterado depois do envio")
            .arg(QDir::toNativeSeparators(sourcePath));
    return {};
}

// Opens `copy` (private to the application folder's owner) and copies
// `sourcePath` into it through copyHashed. Empty on success; the copy is
// still uncommitted either way.
QString openAndCopy(const QString& sourcePath, QSaveFile& copy, const QString& sha256) {
    if (!copy.open(QIODevice::WriteOnly) ||
        !PrivateFiles::restrict(copy, PrivateFiles::applicationFolderPrivate()))
        return writeFailure(copy.fileName(), copy);
    return copyHashed(sourcePath, copy, sha256);
}

// Creates `folder` for the archive: empty, or why it could not be made.
QString makeArchiveFolder(const QDir& folder) {
    if (PrivateFiles::makeFolder(folder.path(), PrivateFiles::applicationFolderPrivate()))
        return {};
    return QStringLiteral("não foi possível criar a pasta %1")
        .arg(QDir::toNativeSeparators(folder.path()));
}

// Writes the copy `target` of `sourcePath` and commits it (to the disk, then
// its name); it must hold `sha256`. Empty on success; on failure nothing is
// left.
QString writeCopy(const QString& sourcePath, const QString& target, const QString& sha256) {
    QSaveFile copy(target);
    const QString failure = openAndCopy(sourcePath, copy, sha256);
    if (!failure.isEmpty())
        return failure;
    if (!copy.commit())
        return writeFailure(target, copy);
    return {};
}

// Keeps a staged copy as `target`: committed under the name it was staged
// with (its bytes already on the disk), then renamed when the sending ended
// in another second. Empty on success; on failure nothing is left.
QString keepStaged(StagedCopy& staged, const QString& target) {
    if (!staged.file.commit())
        return writeFailure(staged.target, staged.file);
    if (staged.target != target && !QFile::rename(staged.target, target)) {
        QFile::remove(staged.target);
        return QStringLiteral("não foi possível gravar em %1")
            .arg(QDir::toNativeSeparators(QFileInfo(target).path()));
    }
    return {};
}

} // namespace

std::shared_ptr<StagedCopy> stageCopy(const QString& ie, const QString& fileName,
                                      const QString& sourcePath, const QString& sha256,
                                      const QDateTime& when, QString* error) {
    const QDir folder(monthFolder(ie, when));
    QString failure = makeArchiveFolder(folder);
    if (!failure.isEmpty()) {
        if (error)
            *error = failure;
        return nullptr;
    }
    auto staged = std::make_shared<StagedCopy>(folder.filePath(
        freeName(folder, when.toString(QStringLiteral("yyyyMMdd-HHmmss-")) + safeName(fileName))));
    QSaveFile& copy = staged->file;
    failure = openAndCopy(sourcePath, copy, sha256);
    // On the disk now, while the reply is awaited: the commit after it then
    // has little left to flush.
    if (failure.isEmpty() && (!copy.flush() || ::fdatasync(copy.handle()) != 0))
        failure = writeFailure(staged->target, copy);
    if (!failure.isEmpty()) {
        if (error)
            *error = failure;
        return nullptr; // the unnamed copy goes with it
    }
    return staged;
}

QString store(const Record& record, const QString& sourcePath, StagedCopy* staged, bool keepCopy) {
    const QDir folder(monthFolder(record.ie, record.sentAt));
    if (const QString failure = makeArchiveFolder(folder); !failure.isEmpty())
        return failure;
    const QString name =
        freeName(folder, record.sentAt.toString(QStringLiteral("yyyyMMdd-HHmmss-")) +
                             safeName(record.fileName));
    const bool withCopy = keepCopy && serverMayHoldIt(record);
    // The name the copy was staged under was taken meanwhile: a commit there
    // would replace that entry, so the copy is made again from the file.
    if (staged && staged->target != folder.filePath(name) && QFileInfo::exists(staged->target))
        staged = nullptr;
    if (withCopy) {
        const QString failure = staged
                                    ? keepStaged(*staged, folder.filePath(name))
                                    : writeCopy(sourcePath, folder.filePath(name), record.sha256);
        if (!failure.isEmpty())
            return failure;
    }
    QSaveFile json(folder.filePath(name + kRecordSuffix));
    if (!json.open(QIODevice::WriteOnly) ||
        !PrivateFiles::restrict(json, PrivateFiles::applicationFolderPrivate()) ||
        json.write(QJsonDocument(toJson(record)).toJson()) < 0 || !json.commit()) {
        if (withCopy)
            QFile::remove(folder.filePath(name));
        return QStringLiteral("não foi possível gravar o registro em %1: %2")
            .arg(QDir::toNativeSeparators(folder.path()), json.errorString());
    }
    return {};
}

namespace {

// The records in `folder` and below, newest first.
QList<Record> recordsUnder(const QString& folder) {
    QList<Record> out;
    QDirIterator it(folder, {QLatin1Char('*') + kRecordSuffix}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        if (std::optional<Record> r = fromJson(it.next()))
            out.append(*r);
    std::sort(out.begin(), out.end(), [](const Record& a, const Record& b) {
        return a.sentAt != b.sentAt ? a.sentAt > b.sentAt : a.recordFile > b.recordFile;
    });
    return out;
}

} // namespace

QList<Record> list(const QString& ie) {
    return recordsUnder(QDir(rootFolder()).filePath(safeName(ie)));
}

QList<Record> listAll() {
    return recordsUnder(rootFolder());
}

QString storeReceiptXml(const QString& ie, const QString& protocolo, const QString& xml,
                        const QDateTime& openedAt, QString* error) {
    const QDir folder(monthFolder(ie, openedAt));
    QSaveFile f(folder.filePath(QStringLiteral("protocolo-") + safeName(protocolo) +
                                QStringLiteral(".xml")));
    const bool isPrivate = PrivateFiles::applicationFolderPrivate();
    if (!PrivateFiles::makeFolder(folder.path(), isPrivate) || !f.open(QIODevice::WriteOnly) ||
        !PrivateFiles::restrict(f, isPrivate) || f.write(xml.toUtf8()) < 0 || !f.commit()) {
        if (error)
            *error = QStringLiteral("não foi possível gravar em %1")
                         .arg(QDir::toNativeSeparators(folder.path()));
        return {};
    }
    // The receipt is dated by the same clock as the sendings it is listed with.
    QFile written(f.fileName());
    if (written.open(QIODevice::ReadWrite))
        written.setFileTime(openedAt, QFileDevice::FileModificationTime);
    return f.fileName();
}

QList<ReceiptFile> receipts(const QString& ie) {
    QList<ReceiptFile> out;
    QDirIterator it(QDir(rootFolder()).filePath(safeName(ie)), {QStringLiteral("protocolo-*.xml")},
                    QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo xml(it.next());
        ReceiptFile r;
        r.xmlFile = xml.filePath();
        r.protocolo = xml.completeBaseName().mid(int(qstrlen("protocolo-")));
        r.savedAt = xml.lastModified();
        const QString pdf =
            xml.path() + QLatin1Char('/') + xml.completeBaseName() + QStringLiteral(".pdf");
        if (QFileInfo(pdf).isFile())
            r.pdfFile = pdf;
        out.append(r);
    }
    std::sort(out.begin(), out.end(),
              [](const ReceiptFile& a, const ReceiptFile& b) { return a.savedAt > b.savedAt; });
    return out;
}

} // namespace SentArchive
