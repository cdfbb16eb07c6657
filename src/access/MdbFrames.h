// What the Access reader child writes on its standard output, and the
// client's reading of it. The client trusts none of it: the child reads files
// from outside with a library that is not hardened against them, so whatever
// comes out of the pipe is outside input too.
//
// The output is a stream of the helper children's records (ChildFrames: a tag,
// a 32-bit big-endian length, the payload):
//   'V'  first record: the format name kVersion
//   'T'  a table begins; payload: its name as requested
//   'C'  one cell: UTF-8 text; a table's cells come row by row, as many per
//        row as columns were requested
//   'N'  one cell that holds NULL (no payload), in place of a 'C'; a NULL
//        text and a zero-length text are different values to keep apart
//   'F'  the read failed: a 32-bit big-endian error number, then UTF-8 text;
//        the stream ends here
//   'E'  the read is complete; the stream ends here
// Plain C++ (no Qt), because the child does not load Qt.
#pragma once

#include "childprocess/ChildFrames.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace MdbFrames {

inline constexpr std::string_view kVersion = "dadav-leitor-mdb/2";

// Error numbers a failure record may carry, as the error report shows them.
inline constexpr std::int32_t kFileNotFound = 53;     // missing, unreadable or not a file
inline constexpr std::int32_t kNotAccessFile = 3343;  // not an Access file, or damaged
inline constexpr std::int32_t kTableNotFound = 3078;  // no table of the requested name
inline constexpr std::int32_t kColumnNotFound = 3265; // a requested column is missing

// Writers: each appends one record to `out`; a text over
// ChildFrames::kMaxPayload throws std::length_error (see ChildFrames::append).
void appendVersion(std::string& out);
void appendTable(std::string& out, std::string_view name);
void appendCell(std::string& out, std::string_view text);
void appendNull(std::string& out);
void appendFailure(std::string& out, std::int32_t number, std::string_view text);
void appendEnd(std::string& out);

// What the client asked for, table by table: its name and how many columns.
struct Expected {
    std::string table;
    std::size_t columns = 0;
};

// One cell as read: its text, or nullopt for NULL.
using Cell = std::optional<std::string>;

// One table as read: rows of `columns` cells each.
struct Table {
    std::string name;
    std::vector<std::vector<Cell>> rows;

    bool operator==(const Table&) const = default;
};

struct Parsed {
    enum class Kind {
        Complete,  // every expected table, in order, then 'E'
        Failure,   // an 'F' record: `number` and `text` say why
        Malformed, // anything else: unknown tag, truncated record, a length
                   // over ChildFrames::kMaxPayload, wrong version, table out
                   // of order, partial row, bytes after the end, no end
    };
    Kind kind = Kind::Malformed;
    std::vector<Table> tables; // Complete only
    std::int32_t number = 0;   // Failure only
    std::string text;          // Failure only; Malformed: what was wrong
};

// Reads the output as it arrives, piece by piece, handing over each row as
// soon as its last cell is in: the client holds one record at a time, never
// the whole output. Never throws on any input (what onRow throws passes
// through); text cells are bytes (the caller checks they are UTF-8).
class Stream {
public:
    enum class State {
        Open,      // more is to come
        Complete,  // every expected table, in order, then 'E'
        Failure,   // an 'F' record: number() and text() say why
        Malformed, // see Parsed::Kind::Malformed; text() says what was wrong
    };
    // Called with the table's place in `expected` and the row's cells, which
    // the callee may move from.
    using RowHandler = std::function<void(std::size_t table, std::vector<Cell>& row)>;

    explicit Stream(std::vector<Expected> expected);

    // Reads the next bytes of the output. Bytes after the end or a failure
    // make the stream Malformed.
    State feed(std::string_view bytes, const RowHandler& onRow);
    // The output ended: an open stream becomes Malformed ("no end record").
    State finish();

    State state() const { return m_state; }
    std::int32_t number() const { return m_number; }
    const std::string& text() const { return m_text; }

private:
    const char* record(char tag, std::string_view payload, const RowHandler& onRow);
    State settle(ChildFrames::Reader::State read);

    std::vector<Expected> m_expected;
    ChildFrames::Reader m_reader;
    State m_state = State::Open;
    std::size_t m_tables = 0; // tables begun
    std::vector<Cell> m_row;
    std::int32_t m_number = 0;
    std::string m_text;
};

// Reads a whole output against what was asked, keeping every row. Never
// throws on any input; text cells are returned as bytes (the caller checks
// they are UTF-8).
Parsed parse(std::string_view output, const std::vector<Expected>& expected);

} // namespace MdbFrames
