// Reading tables of an Access file with libmdb, inside the reader child.
#include "access/MdbTableReader.h"

#include "access/MdbFrames.h"

#include <fcntl.h>
#include <mdbtools.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <string_view>

namespace MdbTableReader {

namespace {

// A Jet 3 page is the smallest page an Access file has; its header starts
// with 00 01 00 00 and the engine's signature.
constexpr off_t kSmallestPage = 2048;

[[noreturn]] void fail(std::int32_t number, std::string text) {
    throw Error(number, std::move(text));
}

bool hasAccessSignature(std::string_view head) {
    if (head.size() < 19 || head.substr(0, 4) != std::string_view("\x00\x01\x00\x00", 4))
        return false;
    const std::string_view signature = head.substr(4, 15);
    return signature == "Standard Jet DB" || signature == "Standard ACE DB";
}

bool sameNameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) {
                   return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
               };
               return lower(x) == lower(y);
           });
}

struct FileCloser {
    int fd;
    explicit FileCloser(int f) : fd(f) {}
    FileCloser(const FileCloser&) = delete;
    FileCloser& operator=(const FileCloser&) = delete;
    ~FileCloser() { ::close(fd); }
};

// Opens the file as any file is opened: a path that never answers (a
// network share that stopped responding, a pipe) blocks here, and the
// client's time-out ends the child.
void checkFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        fail(MdbFrames::kFileNotFound,
             "Arquivo não encontrado: " + path + " (" + std::strerror(errno) + ")");
    const FileCloser closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        fail(MdbFrames::kFileNotFound, "Não é um arquivo: " + path);
    std::array<char, 32> head{};
    const ssize_t got = ::pread(fd, head.data(), head.size(), 0);
    if (info.st_size < kSmallestPage || got < 0 ||
        !hasAccessSignature(std::string_view(head.data(), static_cast<std::size_t>(got))))
        fail(MdbFrames::kNotAccessFile, "Não é um arquivo Access: " + path);
}

struct HandleCloser {
    void operator()(MdbHandle* mdb) const { mdb_close(mdb); }
};
struct TableFreer {
    void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};

// Index (from 0) of the requested column in the table, or a failure.
unsigned int columnIndex(MdbTableDef* table, const Column& column, const std::string& tableName) {
    if (column.name.empty()) {
        if (column.position < 0 || static_cast<unsigned int>(column.position) >= table->num_cols)
            fail(MdbFrames::kColumnNotFound,
                 "A tabela " + tableName + " não tem a coluna " + std::to_string(column.position));
        return static_cast<unsigned int>(column.position);
    }
    for (unsigned int i = 0; i < table->num_cols && i < table->columns->len; ++i) {
        const auto* col = static_cast<const MdbColumn*>(g_ptr_array_index(table->columns, i));
        if (sameNameIgnoringCase(col->name, column.name))
            return i;
    }
    fail(MdbFrames::kColumnNotFound, "A tabela " + tableName + " não tem a coluna " + column.name);
}

// Which columns of the row just fetched hold NULL. The fetch binds a NULL
// text as "", like a zero-length one; the row's null mask tells them apart.
// The row is the one the fetch read, still on the current page: it is
// cracked again, as the fetch did. A Yes/No column is never NULL (its
// null-mask bit is its value).
void nullColumns(MdbHandle* mdb, MdbTableDef* table, std::vector<bool>& isNull) {
    std::fill(isNull.begin(), isNull.end(), false);
    // Row offsets carry flags in their top bits (lookup, deleted).
    constexpr int kOffsetMask = 0x1FFF;
    int start = 0;
    std::size_t size = 0;
    if (table->cur_row == 0 ||
        mdb_find_row(mdb, static_cast<int>(table->cur_row) - 1, &start, &size) != 0)
        fail(MdbFrames::kNotAccessFile, "Linha ilegível na tabela " + std::string(table->name));
    std::array<MdbField, MDB_MAX_COLS> fields{};
    const int count = mdb_crack_row(table, start & kOffsetMask, size, fields.data());
    if (count < 0)
        fail(MdbFrames::kNotAccessFile, "Linha ilegível na tabela " + std::string(table->name));
    for (int i = 0; i < count && i < MDB_MAX_COLS; ++i) {
        const int column = fields[static_cast<std::size_t>(i)].colnum;
        if (column < 0 || static_cast<std::size_t>(column) >= isNull.size())
            continue;
        const auto* col = static_cast<const MdbColumn*>(g_ptr_array_index(table->columns, column));
        isNull[static_cast<std::size_t>(column)] =
            fields[static_cast<std::size_t>(i)].is_null && col->col_type != MDB_BOOL;
    }
}

void readTable(MdbHandle* mdb, const Request& request, const Sink& sink) {
    std::vector<char> name(request.table.begin(), request.table.end());
    name.push_back('\0');
    const std::unique_ptr<MdbTableDef, TableFreer> table(
        mdb_read_table_by_name(mdb, name.data(), MDB_TABLE));
    if (!table)
        fail(MdbFrames::kTableNotFound, "Tabela " + request.table + " não encontrada");
    if (!mdb_read_columns(table.get()))
        fail(MdbFrames::kColumnNotFound, "Colunas da tabela " + request.table + " ilegíveis");

    if (request.columnNames) {
        sink.table(request.table);
        for (unsigned int i = 0; i < table->num_cols && i < table->columns->len; ++i) {
            const auto* col = static_cast<const MdbColumn*>(g_ptr_array_index(table->columns, i));
            sink.row({Cell(col->name)});
        }
        return;
    }

    std::vector<unsigned int> indexes;
    for (const Column& column : request.columns)
        indexes.push_back(columnIndex(table.get(), column, request.table));

    // libmdb writes at most bind_size bytes (terminator included) per value;
    // some builds use the compiled-in size whatever the handle says. A column
    // asked for twice is bound once.
    const std::size_t bindSize = std::max<std::size_t>(mdb->bind_size, MDB_BIND_SIZE);
    struct Bound {
        std::vector<char> value;
        int length = 0;
    };
    std::map<unsigned int, Bound> bound;
    for (unsigned int index : indexes)
        bound.try_emplace(index, Bound{std::vector<char>(bindSize + 1, '\0'), 0});
    mdb_rewind_table(table.get());
    for (auto& [index, b] : bound) {
        if (mdb_bind_column(table.get(), static_cast<int>(index) + 1, b.value.data(), &b.length) <
            0)
            fail(MdbFrames::kColumnNotFound,
                 "Coluna " + std::to_string(index) + " de " + request.table + " ilegível");
    }

    sink.table(request.table);
    std::vector<Cell> row(indexes.size());
    std::vector<bool> isNull(table->num_cols, false);
    while (mdb_fetch_row(table.get())) {
        nullColumns(mdb, table.get(), isNull);
        // The value ends at its terminator; the buffer's last byte is never
        // written by libmdb, so the search always stops inside it.
        for (std::size_t i = 0; i < indexes.size(); ++i) {
            const std::vector<char>& v = bound[indexes[i]].value;
            if (isNull[indexes[i]])
                row[i].reset();
            else
                row[i].emplace(v.data(), ::strnlen(v.data(), bindSize));
        }
        sink.row(row);
        for (auto& [index, b] : bound)
            std::fill(b.value.begin(), b.value.end(), '\0');
    }
}

} // namespace

void read(const std::string& path, const std::vector<Request>& requests, const Sink& sink) {
    checkFile(path);
    const std::unique_ptr<MdbHandle, HandleCloser> mdb(mdb_open(path.c_str(), MDB_NOFLAGS));
    if (!mdb)
        fail(MdbFrames::kNotAccessFile, "O arquivo Access não pôde ser aberto: " + path);
    if (!mdb_read_catalog(mdb.get(), MDB_TABLE))
        fail(MdbFrames::kNotAccessFile, "O catálogo do arquivo Access não pôde ser lido: " + path);
    for (const Request& request : requests)
        readTable(mdb.get(), request, sink);
}

} // namespace MdbTableReader
