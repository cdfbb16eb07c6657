// Who claims a batch row, and whether that sender still runs.
#include "batch/BatchClaims.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <cerrno>
#include <signal.h>

namespace BatchClaims {

namespace {

QString bootId() {
    QFile f(QStringLiteral("/proc/sys/kernel/random/boot_id"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(f.readAll()).trimmed();
}

// The process's start time in clock ticks since boot (field 22 of
// /proc/<pid>/stat); empty when unknown.
QString startTime(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray stat = f.readAll();
    // The command name (field 2) is in parentheses and may hold blanks.
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0)
        return {};
    const QList<QByteArray> fields = stat.mid(close + 1).simplified().split(' ');
    // Fields from the third on: the 22nd is at 19.
    return fields.size() > 19 ? QString::fromLatin1(fields[19]) : QString();
}

bool processRuns(qint64 pid) {
    if (pid <= 0)
        return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

} // namespace

QString claimerOf(const QString& desk, qint64 pid) {
    QString claimer = desk + QStringLiteral(" #") + QString::number(pid);
    const QString boot = bootId();
    const QString start = startTime(pid);
    if (!boot.isEmpty() && !start.isEmpty())
        claimer += QLatin1Char(' ') + boot + QLatin1Char(' ') + start;
    return claimer;
}

QString ownClaimer(const QString& desk) {
    return claimerOf(desk, QCoreApplication::applicationPid());
}

Sender judge(const QString& claimer, const QString& desk) {
    if (claimer == desk)
        return Sender::Stopped; // claimed before claims named the process
    const QString ours = desk + QStringLiteral(" #");
    if (!claimer.startsWith(ours))
        return Sender::OtherDesk;
    const QStringList parts = claimer.mid(ours.size()).split(QLatin1Char(' '));
    bool ok = false;
    const qint64 pid = parts.value(0).toLongLong(&ok);
    if (!ok || (parts.size() != 1 && parts.size() != 3))
        return Sender::Unknown;
    if (pid == QCoreApplication::applicationPid() &&
        (parts.size() == 1 || claimer == ownClaimer(desk)))
        return Sender::Stopped; // this process runs no queue of the batch it recovers
    if (parts.size() == 3) {
        const QString boot = bootId();
        if (!boot.isEmpty() && boot != parts[1])
            return Sender::Stopped; // the machine started again since
    }
    if (!processRuns(pid))
        return Sender::Stopped;
    if (parts.size() == 3) {
        const QString start = startTime(pid);
        if (!start.isEmpty() && start != parts[2])
            return Sender::Stopped; // another process got the id
    }
    return Sender::Running;
}

} // namespace BatchClaims
