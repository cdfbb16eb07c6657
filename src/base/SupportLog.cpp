// The rotating support log: append one line at a time, shifting the files
// when the current one is full.
#include "base/SupportLog.h"

#include "base/LogMasking.h"
#include "base/PrivateFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QStandardPaths>

#include <exception>

namespace {

constexpr qsizetype kMaxLineChars = 2000;
const QString kFileName = QStringLiteral("dadav.log");

struct State {
    QMutex mutex;
    QString folder;
    SupportLog::Limits limits;
};

State& state() {
    static State s;
    return s;
}

QString numbered(const QString& base, int n) {
    return n == 0 ? base : base + QLatin1Char('.') + QString::number(n);
}

// Shifts dadav.log → .1 → .2 ...; the oldest is removed. A file that cannot
// be moved is removed instead, so the current file always starts afresh and
// the bound holds.
void rotate(const QString& base, int files) {
    QFile::remove(numbered(base, files - 1));
    for (int n = files - 2; n >= 0; --n) {
        const QString from = numbered(base, n);
        if (QFile::exists(from) && !QFile::rename(from, numbered(base, n + 1)))
            QFile::remove(from);
    }
}

} // namespace

namespace SupportLog {

QString defaultFolder() {
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    return data.isEmpty() ? QString() : QDir(data).filePath(QStringLiteral("registros"));
}

void open(const QString& folder, Limits limits) {
    State& s = state();
    const QMutexLocker lock(&s.mutex);
    s.folder = folder;
    s.limits.fileBytes = qMax<qint64>(limits.fileBytes, 4096);
    s.limits.files = qMax(limits.files, 1);
}

QString folder() {
    State& s = state();
    const QMutexLocker lock(&s.mutex);
    return s.folder;
}

bool write(const QString& topic, const QString& text) noexcept {
    try {
        QString body = LogMasking::text(text);
        body.replace(QStringLiteral("\r\n"), QStringLiteral(" | "));
        body.replace(QLatin1Char('\n'), QStringLiteral(" | "));
        body.replace(QLatin1Char('\r'), QStringLiteral(" | "));
        if (body.size() > kMaxLineChars)
            body = body.left(kMaxLineChars) + QStringLiteral("…");
        const QByteArray line =
            (QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) +
             QLatin1Char(' ') + topic + QLatin1Char(' ') + body + QLatin1Char('\n'))
                .toUtf8();

        State& s = state();
        const QMutexLocker lock(&s.mutex);
        // The log is the user's alone (PrivateFiles), kept so on every line.
        if (s.folder.isEmpty() || !PrivateFiles::makeFolder(s.folder, true))
            return false;
        const QString base = QDir(s.folder).filePath(kFileName);
        const qint64 size = QFileInfo(base).size();
        if (size > 0 && size + line.size() > s.limits.fileBytes)
            rotate(base, s.limits.files);
        QFile file(base);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append) ||
            !PrivateFiles::restrict(file, true))
            return false;
        return file.write(line) == line.size();
    } catch (const std::exception&) {
        // A log that cannot be written must not stop the work it records.
        return false;
    }
}

} // namespace SupportLog
