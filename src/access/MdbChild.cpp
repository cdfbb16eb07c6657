// Starting the Access reader child, bounding it and reading its output.
#include "access/MdbChild.h"

#include "access/MdbFrames.h"
#include "base/RuntimeError.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
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

QList<Rows> toRows(const std::vector<MdbFrames::Table>& tables) {
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QList<Rows> result;
    for (const MdbFrames::Table& table : tables) {
        Rows rows;
        rows.reserve(static_cast<qsizetype>(table.rows.size()));
        for (const std::vector<MdbFrames::Cell>& row : table.rows) {
            QStringList texts;
            texts.reserve(static_cast<qsizetype>(row.size()));
            for (const MdbFrames::Cell& cell : row) {
                if (!cell) {
                    texts << QString();
                    continue;
                }
                QString text =
                    utf8(QByteArrayView(cell->data(), static_cast<qsizetype>(cell->size())));
                // A zero-length text stays apart from NULL: empty, not null.
                if (text.isNull())
                    text = QStringLiteral("");
                texts << text;
            }
            rows << texts;
        }
        result << rows;
    }
    if (utf8.hasError())
        unreadable(QStringLiteral("texto que não é UTF-8"));
    return result;
}

} // namespace

void setProgram(const QString& path) {
    chosenProgram() = path;
}

QString program() {
    if (!chosenProgram().isEmpty())
        return chosenProgram();
    const QDir here(QCoreApplication::applicationDirPath());
    const QString candidates[] = {
        here.filePath(QString::fromLatin1(kProgramName)),
        QDir(here.filePath(QStringLiteral(DADAV_HELPER_FROM_BINDIR)))
            .filePath(QString::fromLatin1(kProgramName)),
    };
    for (const QString& candidate : candidates) {
        const QFileInfo info(candidate);
        if (info.isFile() && info.isExecutable())
            return QDir::cleanPath(info.absoluteFilePath());
    }
    return QString();
}

QList<Rows> readTables(const QString& path, const QList<Request>& requests, const Limits& limits) {
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

    const QDeadlineTimer deadline(limits.timeout);
    child.start(QIODevice::ReadOnly);
    if (!child.waitForStarted(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1))))
        helperMissing(QStringLiteral("O leitor de arquivos Access (%1) não pôde ser iniciado: %2")
                          .arg(helper, child.errorString()));

    QByteArray output;
    const auto stop = [&child](const QString& why) {
        child.kill();
        child.waitForFinished(kReapMs);
        unreadable(why);
    };
    while (child.state() != QProcess::NotRunning) {
        if (deadline.hasExpired())
            stop(QStringLiteral("tempo esgotado"));
        const int wait = static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0));
        // No data before the deadline while still running means the child
        // closed its output: nothing more can come, so wait for its end.
        if (!child.waitForReadyRead(wait) && child.state() != QProcess::NotRunning &&
            !deadline.hasExpired())
            child.waitForFinished(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0)));
        output += child.readAllStandardOutput();
        if (output.size() > limits.outputBytes)
            stop(QStringLiteral("resposta grande demais"));
    }
    output += child.readAllStandardOutput();
    if (output.size() > limits.outputBytes)
        unreadable(QStringLiteral("resposta grande demais"));
    if (child.exitStatus() != QProcess::NormalExit)
        unreadable(QStringLiteral("o leitor terminou de forma anormal"));

    MdbFrames::Parsed parsed = MdbFrames::parse(
        std::string_view(output.constData(), static_cast<std::size_t>(output.size())), expected);
    switch (parsed.kind) {
    case MdbFrames::Parsed::Kind::Complete:
        if (child.exitCode() != 0)
            unreadable(QStringLiteral("saída %1 do leitor").arg(child.exitCode()));
        return toRows(parsed.tables);
    case MdbFrames::Parsed::Kind::Failure: {
        const qint32 known[] = {MdbFrames::kFileNotFound, MdbFrames::kNotAccessFile,
                                MdbFrames::kTableNotFound, MdbFrames::kColumnNotFound};
        const bool isKnown =
            std::find(std::begin(known), std::end(known), parsed.number) != std::end(known);
        throw RuntimeError(
            isKnown ? parsed.number : MdbFrames::kNotAccessFile, kSource,
            QString::fromUtf8(parsed.text.data(), static_cast<qsizetype>(parsed.text.size())));
    }
    case MdbFrames::Parsed::Kind::Malformed:
        break;
    }
    unreadable(QStringLiteral("saída %1 do leitor, %2")
                   .arg(child.exitCode())
                   .arg(QString::fromStdString(parsed.text)));
}

} // namespace MdbChild
