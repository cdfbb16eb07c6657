// Reading `tblContribuinte` of a NovaGIA export with libmdb.
#include "registry/AccessExportReader.h"

#include "base/RuntimeError.h"

#include <QFile>
#include <QFileInfo>

#include <mdbtools.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace AccessExport {

namespace {

const QString kSource = QStringLiteral("AccessExport");

// A Jet 3 page is the smallest page an Access file has; its header starts
// with 00 01 00 00 and the engine's signature.
constexpr qint64 kSmallestPage = 2048;

[[noreturn]] void fail(qint32 number, const QString& description) {
    throw RuntimeError(number, kSource, description);
}

bool hasAccessSignature(const QByteArray& head) {
    if (head.size() < 19 || head.left(4) != QByteArray("\x00\x01\x00\x00", 4))
        return false;
    const QByteArray signature = head.mid(4, 15);
    return signature == "Standard Jet DB" || signature == "Standard ACE DB";
}

struct HandleCloser {
    void operator()(MdbHandle* mdb) const { mdb_close(mdb); }
};
struct TableFreer {
    void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};

} // namespace

QList<Company> readCompanies(const QString& path) {
    QFile file(path);
    if (path.isEmpty() || !QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        fail(53, QStringLiteral("Arquivo não encontrado: %1").arg(path));
    if (file.size() < kSmallestPage || !hasAccessSignature(file.read(32)))
        fail(3343, QStringLiteral("Não é um arquivo Access: %1").arg(path));
    file.close();

    const QByteArray localPath = QFile::encodeName(path);
    std::unique_ptr<MdbHandle, HandleCloser> mdb(mdb_open(localPath.constData(), MDB_NOFLAGS));
    if (!mdb)
        fail(3343, QStringLiteral("O arquivo Access não pôde ser aberto: %1").arg(path));
    if (!mdb_read_catalog(mdb.get(), MDB_TABLE))
        fail(3343, QStringLiteral("O catálogo do arquivo Access não pôde ser lido: %1").arg(path));

    char tableName[] = "tblContribuinte";
    static_assert(sizeof tableName == sizeof kTable);
    std::unique_ptr<MdbTableDef, TableFreer> table(
        mdb_read_table_by_name(mdb.get(), tableName, MDB_TABLE));
    if (!table)
        fail(3078, QStringLiteral("Tabela %1 não encontrada").arg(QLatin1String(kTable)));
    if (!mdb_read_columns(table.get()) || table->num_cols < kColumnsNeeded)
        fail(3265, QStringLiteral("A tabela %1 tem menos de %2 colunas")
                       .arg(QLatin1String(kTable))
                       .arg(kColumnsNeeded));

    // libmdb writes at most bind_size bytes (terminator included) per value;
    // some builds use the compiled-in size whatever the handle says.
    const std::size_t bindSize = std::max<std::size_t>(mdb->bind_size, MDB_BIND_SIZE);
    std::vector<std::vector<char>> values(kColumnsNeeded, std::vector<char>(bindSize + 1, '\0'));
    std::vector<int> lengths(kColumnsNeeded, 0);
    mdb_rewind_table(table.get());
    for (int i = 0; i < kColumnsNeeded; ++i) {
        if (mdb_bind_column(table.get(), i + 1, values[i].data(), &lengths[i]) < 0)
            fail(3265,
                 QStringLiteral("Coluna %1 de %2 ilegível").arg(i).arg(QLatin1String(kTable)));
    }

    // The value ends at its terminator; the buffer's last byte is never
    // written by libmdb, so the search always stops inside it.
    const auto text = [&](int column) {
        const std::vector<char>& v = values[column];
        return QString::fromUtf8(
            v.data(), static_cast<qsizetype>(qstrnlen(v.data(), static_cast<uint>(bindSize))));
    };

    QList<Company> companies;
    while (mdb_fetch_row(table.get())) {
        Company c;
        c.IE = text(0);
        c.RazaoSocial = text(1) + QLatin1Char(' ');
        c.Cnpj = text(2);
        c.Cnae = text(3);
        companies << c;
        for (std::vector<char>& v : values)
            std::fill(v.begin(), v.end(), '\0');
    }
    return companies;
}

} // namespace AccessExport
