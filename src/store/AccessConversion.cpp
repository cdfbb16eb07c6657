// Converting an earlier installation's Access database into the SQLite one.
#include "store/AccessConversion.h"

#include "access/MdbChild.h"
#include "base/PrivateFiles.h"
#include "base/RuntimeError.h"
#include "store/DatabaseFile.h"
#include "store/LocalDb.h"
#include "store/LocalSchema.h"
#include "store/TableInsert.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QVariant>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <span>

namespace AccessConversion {

namespace {

const QString kContador = QStringLiteral("tblContador");
const QString kContribuinte = QStringLiteral("tblContribuinte");
const QString kOperation = QStringLiteral("AccessConversion");

// A step that failed, with the text the user is shown.
struct Failure {
    QString text;
};

[[noreturn]] void fail(const QString& text) {
    throw Failure{text};
}

// errno in the user's words: the usual reasons in Portuguese, whatever the
// system's language; any other as the system says it.
QString systemError() {
    switch (errno) {
    case EACCES:
    case EPERM:
        return QStringLiteral("sem permissão de gravação na pasta");
    case EROFS:
        return QStringLiteral("a pasta está num disco somente para leitura");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("não há espaço livre no disco");
    default:
        return QString::fromLocal8Bit(std::strerror(errno));
    }
}

QByteArray encoded(const QString& path) {
    return QFile::encodeName(path);
}

// One table's columns as the client knows them, as the file has them.
struct TableColumns {
    QString table;
    QStringList wanted;  // the client's columns, in table order
    QStringList present; // those of `wanted` the file has, as the client names them
};

TableColumns matchColumns(const QString& table, std::span<const char* const> schema,
                          const MdbChild::Rows& names, Result& result) {
    TableColumns columns{table, {}, {}};
    QStringList found;
    for (const QStringList& row : names)
        found << row.value(0);
    for (const char* column : schema) {
        const QString name = QString::fromLatin1(column);
        columns.wanted << name;
        if (found.contains(name, Qt::CaseInsensitive))
            columns.present << name;
        else
            result.missingColumns << table + u'.' + name;
    }
    for (const QString& name : found) {
        if (!columns.wanted.contains(name, Qt::CaseInsensitive))
            result.extraColumns << table + u'.' + name;
    }
    if (columns.present.isEmpty())
        fail(QStringLiteral("a tabela %1 não tem nenhuma das colunas esperadas").arg(table));
    return columns;
}

MdbChild::Request rowsOf(const TableColumns& columns) {
    MdbChild::Request request{columns.table, {}, false};
    for (const QString& name : columns.present)
        request.columns << MdbChild::Column::named(name);
    return request;
}

// Writes the rows of one table as they come from the reader child. A column
// the file lacks is stored as the empty text (which the flag column stores as
// NULL); NULL stays NULL.
class TableWriter {
public:
    TableWriter(LocalDb& db, TableInsert::Table table, const TableColumns& columns)
        : m_insert(db, table, kOperation), m_values(columns.wanted.size()) {
        for (const QString& column : columns.wanted)
            m_from << columns.present.indexOf(column);
    }

    void write(const QStringList& row) {
        for (qsizetype i = 0; i < m_from.size(); ++i) {
            const qsizetype at = m_from.at(i);
            m_values[i] = at < 0                ? QVariant(QStringLiteral(""))
                          : row.at(at).isNull() ? QVariant(QMetaType::fromType<QString>())
                                                : QVariant(row.at(at));
        }
        m_insert.insert(m_values);
        ++m_rows;
    }

    qint64 rows() const { return m_rows; }

private:
    TableInsert m_insert;
    QList<qsizetype> m_from; // per column of the table: its place in the row read, or -1
    QList<QVariant> m_values;
    qint64 m_rows = 0;
};

void syncPath(const QString& path) {
    const int fd = ::open(encoded(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        const QString why = systemError();
        if (fd >= 0)
            ::close(fd);
        fail(QStringLiteral("não foi possível gravar %1 no disco (%2)").arg(path, why));
    }
    ::close(fd);
}

// The renames reach the disk with the folder; the conversion is done by
// then, so a folder that cannot be synced (some network shares) changes
// nothing.
void syncFolder(const QString& folder) {
    const int fd = ::open(encoded(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

void removeQuietly(const QString& path) {
    QFile::remove(path);
    QFile::remove(path + QStringLiteral("-journal"));
}

// The original's new name: dated, and never one that already exists.
QString asideName(const QDir& folder, const QDate& today, int attempt) {
    const QString date = today.toString(QStringLiteral("yyyyMMdd"));
    return folder.filePath(attempt == 1
                               ? QStringLiteral("dadav-access-%1.mdb").arg(date)
                               : QStringLiteral("dadav-access-%1-%2.mdb").arg(date).arg(attempt));
}

// Puts the new file in the original's place and returns where the original
// went. The original is first given its second name as a hard link, so that
// one rename swaps the files; on a file system without hard links it is
// renamed aside first (never over an existing file) and put back on failure.
QString swapIn(const QString& path, const QString& converted, const Options& options) {
    const QDir folder = QFileInfo(path).dir();
    constexpr int kAttempts = 100;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        const QString aside = asideName(folder, options.today, attempt);
        if (QFileInfo::exists(aside))
            continue;
        if (::link(encoded(path).constData(), encoded(aside).constData()) == 0) {
            if (options.renameInto(encoded(converted).constData(), encoded(path).constData()) !=
                0) {
                const QString why = systemError();
                ::unlink(encoded(aside).constData());
                fail(QStringLiteral("não foi possível renomear o banco convertido (%1)").arg(why));
            }
            return aside;
        }
        if (errno == EEXIST)
            continue;
        if (::renameat2(AT_FDCWD, encoded(path).constData(), AT_FDCWD, encoded(aside).constData(),
                        RENAME_NOREPLACE) != 0) {
            if (errno == EEXIST)
                continue;
            fail(QStringLiteral("não foi possível renomear o arquivo original (%1)")
                     .arg(systemError()));
        }
        if (::rename(encoded(converted).constData(), encoded(path).constData()) != 0) {
            const QString why = systemError();
            ::renameat2(AT_FDCWD, encoded(aside).constData(), AT_FDCWD, encoded(path).constData(),
                        RENAME_NOREPLACE);
            fail(QStringLiteral("não foi possível renomear o banco convertido (%1)").arg(why));
        }
        return aside;
    }
    fail(QStringLiteral("não há um nome livre para guardar o arquivo original"));
}

void convert(const QString& path, const Options& options, Result& result) {
    const QList<MdbChild::Rows> names =
        MdbChild::readTables(path, {{kContador, {}, true}, {kContribuinte, {}, true}});
    const TableColumns contador =
        matchColumns(kContador, LocalSchema::kContadorColumns, names.at(0), result);
    const TableColumns contribuinte =
        matchColumns(kContribuinte, LocalSchema::kContribuinteColumns, names.at(1), result);
    const QString converted = path + QStringLiteral(".convertendo");
    removeQuietly(converted);
    if (QFileInfo::exists(converted))
        fail(QStringLiteral("o arquivo temporário %1 não pôde ser removido").arg(converted));
    // Made here, before the database engine sees it: a folder that refuses it
    // is said in the user's words, not the engine's, and in the user's own
    // data folder the file is the user's alone from the start.
    const mode_t mode = PrivateFiles::applicationFolderPrivate() ? S_IRUSR | S_IWUSR : 0666;
    const int fd =
        ::open(encoded(converted).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0)
        fail(QStringLiteral("não foi possível criar o banco convertido na pasta %1 (%2)")
                 .arg(QDir::toNativeSeparators(QFileInfo(path).absolutePath()), systemError()));
    ::close(fd);
    qint64 accountants = 0;
    qint64 taxpayers = 0;
    try {
        {
            // Rows go into the new file as the child writes them; the
            // transaction keeps them from counting until the read is whole.
            LocalDb db(converted);
            DbTransaction transaction(db, kOperation);
            TableWriter writers[] = {{db, TableInsert::Table::Contador, contador},
                                     {db, TableInsert::Table::Contribuinte, contribuinte}};
            MdbChild::readRows(
                path, {rowsOf(contador), rowsOf(contribuinte)},
                [&writers, &options](qsizetype table, const QStringList& row) {
                    if (options.beforeRow)
                        options.beforeRow();
                    writers[table].write(row);
                },
                options.reading);
            transaction.commit();
            accountants = writers[0].rows();
            taxpayers = writers[1].rows();
        }
        syncPath(converted);
        result.originalPath = swapIn(path, converted, options);
        syncFolder(QFileInfo(path).absolutePath());
    } catch (...) {
        if (result.originalPath.isEmpty())
            removeQuietly(converted);
        throw;
    }
    result.accountant = accountants > 0;
    result.taxpayers = static_cast<int>(taxpayers);
}

} // namespace

Result convertIfAccess(const QString& path, const Options& options) {
    Result result;
    if (detectDatabaseFile(path) != DatabaseFileKind::Access)
        return result;
    result.outcome = Result::Outcome::Failed;
    try {
        convert(path, options, result);
        result.outcome = Result::Outcome::Converted;
    } catch (const Failure& f) {
        result.error = f.text;
    } catch (const RuntimeError& e) {
        result.error = e.description();
    } catch (const std::exception& e) {
        result.error = QString::fromLocal8Bit(e.what());
    }
    if (result.outcome == Result::Outcome::Failed) {
        result.accountant = false;
        result.taxpayers = 0;
        result.originalPath.clear();
    }
    return result;
}

QString message(const Result& result) {
    switch (result.outcome) {
    case Result::Outcome::NotNeeded:
        return QString();
    case Result::Outcome::Failed:
        return QStringLiteral(
                   "O banco de dados do programa anterior (dadav.mdb) não pôde ser convertido: "
                   "%1.\n\nO arquivo original não foi alterado. A conversão será tentada de "
                   "novo na próxima vez que o programa for iniciado.")
            .arg(result.error);
    case Result::Outcome::Converted:
        break;
    }
    QString text = QStringLiteral("O banco de dados do programa anterior foi convertido.\n\n");
    text += result.taxpayers == 1
                ? QStringLiteral("1 contribuinte trazido.\n")
                : QStringLiteral("%1 contribuintes trazidos.\n").arg(result.taxpayers);
    text += result.accountant ? QStringLiteral("Contador trazido.\n")
                              : QStringLiteral("Nenhum contador cadastrado no banco anterior.\n");
    if (!result.missingColumns.isEmpty())
        text += QStringLiteral("\nColunas ausentes no banco anterior (gravadas vazias): %1.\n")
                    .arg(result.missingColumns.join(QStringLiteral(", ")));
    if (!result.extraColumns.isEmpty())
        text += QStringLiteral("\nColunas do banco anterior não trazidas: %1.\n")
                    .arg(result.extraColumns.join(QStringLiteral(", ")));
    text += QStringLiteral("\nO arquivo original foi guardado, sem alterações, em:\n%1")
                .arg(QDir::toNativeSeparators(result.originalPath));
    return text;
}

} // namespace AccessConversion
