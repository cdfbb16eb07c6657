// Reads named tables of an Access (Jet) file with libmdb: for each table, the
// requested columns (by name or by position) of every row, in file order, as
// UTF-8 text.
//
// libmdb is not hardened against damaged or hostile files (some make it read
// through a null pointer or loop), so this runs only inside the reader child
// (dadav-leitor-mdb), under the limits the client sets; the client never
// links it. Before libmdb sees a file, the file is opened and checked to be a
// regular file of at least one Jet page whose header carries the Jet or ACE
// signature, so a text file or any other stranger is refused here rather
// than inside the library.
//
// libmdb binds a NULL text and a zero-length text alike (both as ""); the
// row's null mask, read again after each fetch, tells them apart, so a NULL
// reaches the sink as nullopt. A Yes/No column reads as "1" or "0" (in Jet
// its null-mask bit is its value: it is never NULL).
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace MdbTableReader {

// A column by name (compared without regard to ASCII letter case, as Access
// compares them) or, when `name` is empty, by position from 0.
struct Column {
    std::string name;
    int position = -1;

    static Column named(std::string n) { return {std::move(n), -1}; }
    static Column at(int p) { return {std::string(), p}; }
};

struct Request {
    std::string table; // compared as Access does, without regard to case
    std::vector<Column> columns;
    // Instead of the rows: one row per column of the table, holding its name.
    bool columnNames = false;
};

// One value as read: its text, or nullopt for NULL.
using Cell = std::optional<std::string>;

// A read that cannot go on; `number` is one of MdbFrames' error numbers.
class Error : public std::exception {
public:
    Error(std::int32_t number, std::string text) : m_number(number), m_text(std::move(text)) {}
    std::int32_t number() const { return m_number; }
    const char* what() const noexcept override { return m_text.c_str(); }

private:
    std::int32_t m_number;
    std::string m_text;
};

// Where the rows go as they are read: `table` once per request, before its
// rows; `row` once per row, with one value per requested column.
struct Sink {
    std::function<void(const std::string& table)> table;
    std::function<void(const std::vector<Cell>& row)> row;
};

// Reads every request in order into `sink`. Throws Error when the file is
// missing or not a regular file (kFileNotFound), is not an Access file or
// cannot be read as one (kNotAccessFile), has no table of a requested name
// (kTableNotFound), or lacks a requested column (kColumnNotFound); tables
// read before the failure have already gone to the sink.
void read(const std::string& path, const std::vector<Request>& requests, const Sink& sink);

} // namespace MdbTableReader
