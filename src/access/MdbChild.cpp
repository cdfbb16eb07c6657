// Starting the Access reader child, bounding it and reading its output.
#include "access/MdbChild.h"

#include "access/MdbFrames.h"
#include "base/HelperProgram.h"
#include "base/RuntimeError.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStringDecoder>

#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <iterator>
#include <string_view>
#include <vector>

namespace MdbChild {

namespace {

const QString kSource = QString::fromLatin1(kProgramName);

// How long a killed child may take to be reaped before the client stops
// waiting for it.
constexpr int kReapMs = 2000;

QString& chosenProgram() {
    static QString path;
    return path;
}

[[noreturn]] void unreadable(const QString& why) {
    throw RuntimeError(MdbFrames::kNotAccessFile, kSource,
                       QStringLiteral("O arquivo Access não pôde ser lido: %1").arg(why));
}

[[noreturn]] void helperMissing(const QString& why) {
    throw RuntimeError(kHelperMissing, kSource, why);
}

QStringList arguments(const QString& path, const QList<Request>& requests) {
    QStringList args{path};
    for (const Request& request : requests) {
        args << QStringLiteral("--table") << request.table;
        if (request.columnNames)
            args << QStringLiteral("--names");
        for (const Column& column : request.columns) {
            if (column.name.isEmpty())
                args << QStringLiteral("--position") << QString::number(column.position);
            else
                args << QStringLiteral("--column") << column.name;
        }
    }
    return args;
}

// Runs in the child between fork and exec: only system calls. A limit that
// cannot be set ends the child, which the parent then sees as a bad exit.
void limitChild(rlim_t memoryBytes) {
    rlimit space{};
    if (::getrlimit(RLIMIT_AS, &space) != 0)
        ::_exit(127);
    const rlim_t bound =
        space.rlim_max == RLIM_INFINITY ? memoryBytes : std::min(memoryBytes, space.rlim_max);
    space.rlim_cur = bound;
    space.rlim_max = bound;
    const rlimit noCore{0, 0}; // a crash on a damaged file leaves no core file behind
    if (::setrlimit(RLIMIT_AS, &space) != 0 || ::setrlimit(RLIMIT_CORE, &noCore) != 0)
        ::_exit(127);
    // A child of a client that dies goes with it.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
}

// One row as the client keeps it; a cell that is not UTF-8 ends the read.
QStringList texts(QStringDecoder& utf8, const std::vector<MdbFrames::Cell>& row) {
    QStringList texts;
    texts.reserve(static_cast<qsizetype>(row.size()));
    for (const MdbFrames::Cell& cell : row) {
        if (!cell) {
            texts << QString();
            continue;
        }
        QString text = utf8(QByteArrayView(cell->data(), static_cast<qsizetype>(cell->size())));
        if (utf8.hasError())
            unreadable(QStringLiteral("texto que não é UTF-8"));
        // A zero-length text stays apart from NULL: empty, not null.
        if (text.isNull())
            text = QStringLiteral("");
        texts << text;
    }
    return texts;
}

} // namespace

void setProgram(const QString& path) {
    chosenProgram() = path;
}

QString program() {
    if (!chosenProgram().isEmpty())
        return chosenProgram();
    return HelperProgram::find(QString::fromLatin1(kProgramName));
}

QList<Rows> readTables(const QString& path, const QList<Request>& requests, const Limits& limits) {
    QList<Rows> tables(requests.size());
    readRows(
        path, requests,
        [&tables](qsizetype request, const QStringList& row) { tables[request].append(row); },
        limits);
    return tables;
}

void readRows(const QString& path, const QList<Request>& requests, const RowSink& sink,
              const Limits& limits) {
    std::vector<MdbFrames::Expected> expected;
    for (const Request& request : requests) {
        Q_ASSERT(request.columnNames != !request.columns.isEmpty());
        expected.push_back(
            {request.table.toStdString(), request.columnNames
                                              ? std::size_t{1}
                                              : static_cast<std::size_t>(request.columns.size())});
    }

    const QString helper = program();
    const QFileInfo helperInfo(helper);
    if (helper.isEmpty() || !helperInfo.isFile() || !helperInfo.isExecutable())
        helperMissing(QStringLiteral("O leitor de arquivos Access (%1) não foi encontrado")
                          .arg(QString::fromLatin1(kProgramName)));

    QProcess child;
    child.setProgram(helper);
    child.setArguments(arguments(path, requests));
    child.setStandardInputFile(QProcess::nullDevice());
    // libmdb's diagnostics go where the client's own go, unread.
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const rlim_t memory = static_cast<rlim_t>(limits.memoryBytes);
    child.setChildProcessModifier([memory] { limitChild(memory); });

    QDeadlineTimer deadline(limits.timeout);
    child.start(QIODevice::ReadOnly);
    if (!child.waitForStarted(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1))))
        helperMissing(QStringLiteral("O leitor de arquivos Access (%1) não pôde ser iniciado: %2")
                          .arg(helper, child.errorString()));

    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    MdbFrames::Stream stream(std::move(expected));
    qint64 bytesRead = 0;
    qint64 rowsRead = 0;
    const MdbFrames::Stream::RowHandler onRow = [&](std::size_t table,
                                                    std::vector<MdbFrames::Cell>& row) {
        if (++rowsRead > limits.rows)
            unreadable(QStringLiteral("linhas demais"));
        sink(static_cast<qsizetype>(table), texts(utf8, row));
    };
    // Reads what the child wrote so far into the stream. The rows go to the
    // sink at once; the time the sink takes is the client's, not the child's.
    const auto take = [&] {
        const QByteArray piece = child.readAllStandardOutput();
        bytesRead += piece.size();
        if (bytesRead > limits.outputBytes)
            unreadable(QStringLiteral("resposta grande demais"));
        QElapsedTimer spent;
        spent.start();
        stream.feed(std::string_view(piece.constData(), static_cast<std::size_t>(piece.size())),
                    onRow);
        deadline.setRemainingTime(std::chrono::nanoseconds(
            std::max<qint64>(deadline.remainingTimeNSecs(), 0) + spent.nsecsElapsed()));
    };

    try {
        while (child.state() != QProcess::NotRunning) {
            if (deadline.hasExpired())
                unreadable(QStringLiteral("tempo esgotado"));
            const int wait = static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0));
            // No data before the deadline while still running means the child
            // closed its output: nothing more can come, so wait for its end.
            if (!child.waitForReadyRead(wait) && child.state() != QProcess::NotRunning &&
                !deadline.hasExpired())
                child.waitForFinished(
                    static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0)));
            take();
        }
        take();
    } catch (...) {
        // A fault of the output or of the sink: the child goes at once.
        if (child.state() != QProcess::NotRunning) {
            child.kill();
            child.waitForFinished(kReapMs);
        }
        throw;
    }
    if (child.exitStatus() != QProcess::NormalExit)
        unreadable(QStringLiteral("o leitor terminou de forma anormal"));

    switch (stream.finish()) {
    case MdbFrames::Stream::State::Complete:
        if (child.exitCode() != 0)
            unreadable(QStringLiteral("saída %1 do leitor").arg(child.exitCode()));
        return;
    case MdbFrames::Stream::State::Failure: {
        const qint32 known[] = {MdbFrames::kFileNotFound, MdbFrames::kNotAccessFile,
                                MdbFrames::kTableNotFound, MdbFrames::kColumnNotFound};
        const bool isKnown =
            std::find(std::begin(known), std::end(known), stream.number()) != std::end(known);
        throw RuntimeError(
            isKnown ? stream.number() : MdbFrames::kNotAccessFile, kSource,
            QString::fromUtf8(stream.text().data(), static_cast<qsizetype>(stream.text().size())));
    }
    case MdbFrames::Stream::State::Open:
    case MdbFrames::Stream::State::Malformed:
        break;
    }
    unreadable(QStringLiteral("saída %1 do leitor, %2")
                   .arg(child.exitCode())
                   .arg(QString::fromStdString(stream.text())));
}

} // namespace MdbChild
