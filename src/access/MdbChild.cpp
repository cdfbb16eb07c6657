// Starting the Access reader child, bounding it and reading its output.
#include "access/MdbChild.h"

#include "access/MdbFrames.h"
#include "base/RuntimeError.h"
#include "childprocess/ChildRunner.h"

#include <QStringDecoder>

#include <algorithm>
#include <iterator>
#include <string_view>
#include <vector>

namespace MdbChild {

namespace {

const QString kSource = QString::fromLatin1(kProgramName);

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
    ChildRunner::setProgram(kProgramName, path);
}

QString program() {
    return ChildRunner::program(kProgramName);
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

    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    MdbFrames::Stream stream(std::move(expected));
    qint64 rowsRead = 0;
    const MdbFrames::Stream::RowHandler onRow = [&](std::size_t table,
                                                    std::vector<MdbFrames::Cell>& row) {
        if (++rowsRead > limits.rows)
            unreadable(QStringLiteral("linhas demais"));
        sink(static_cast<qsizetype>(table), texts(utf8, row));
    };

    ChildRunner::Exit exit;
    try {
        exit = ChildRunner::run({program(), arguments(path, requests), limits, nullptr},
                                [&](std::string_view piece) { stream.feed(piece, onRow); });
    } catch (const ChildRunner::Failure& e) {
        switch (e.kind()) {
        case ChildRunner::Failure::Kind::Missing:
            if (e.detail().isEmpty())
                helperMissing(QStringLiteral("O leitor de arquivos Access (%1) não foi encontrado")
                                  .arg(QString::fromLatin1(kProgramName)));
            helperMissing(
                QStringLiteral("O leitor de arquivos Access (%1) não pôde ser iniciado: %2")
                    .arg(QString::fromLatin1(kProgramName), e.detail()));
        case ChildRunner::Failure::Kind::TimedOut:
            unreadable(QStringLiteral("tempo esgotado"));
        case ChildRunner::Failure::Kind::TooLarge:
            unreadable(QStringLiteral("resposta grande demais"));
        case ChildRunner::Failure::Kind::Crashed:
        case ChildRunner::Failure::Kind::Malformed:
            break;
        }
        unreadable(QStringLiteral("o leitor terminou de forma anormal"));
    }
    if (!exit.normal)
        unreadable(QStringLiteral("o leitor terminou de forma anormal"));

    switch (stream.finish()) {
    case MdbFrames::Stream::State::Complete:
        if (exit.code != 0)
            unreadable(QStringLiteral("saída %1 do leitor").arg(exit.code));
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
                   .arg(exit.code)
                   .arg(QString::fromStdString(stream.text())));
}

} // namespace MdbChild
