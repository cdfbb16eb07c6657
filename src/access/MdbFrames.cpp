// Writing and reading the Access reader child's output records.
#include "access/MdbFrames.h"

#include <algorithm>
#include <limits>

namespace MdbFrames {

namespace {

constexpr std::size_t kHeaderSize = 5; // tag + 32-bit length

void appendUint32(std::string& out, std::uint32_t value) {
    out.push_back(static_cast<char>((value >> 24) & 0xFF));
    out.push_back(static_cast<char>((value >> 16) & 0xFF));
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
    out.push_back(static_cast<char>(value & 0xFF));
}

std::uint32_t readUint32(std::string_view bytes) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value = (value << 8) | static_cast<unsigned char>(bytes[i]);
    return value;
}

void appendRecord(std::string& out, char tag, std::string_view payload) {
    // A cell is bounded by libmdb's bind size, far below 4 GiB; a longer
    // payload would be a fault of the child, cut rather than misframed.
    const std::size_t size =
        std::min<std::size_t>(payload.size(), std::numeric_limits<std::uint32_t>::max());
    out.push_back(tag);
    appendUint32(out, static_cast<std::uint32_t>(size));
    out.append(payload.substr(0, size));
}

} // namespace

void appendVersion(std::string& out) {
    appendRecord(out, 'V', kVersion);
}

void appendTable(std::string& out, std::string_view name) {
    appendRecord(out, 'T', name);
}

void appendCell(std::string& out, std::string_view text) {
    appendRecord(out, 'C', text);
}

void appendNull(std::string& out) {
    appendRecord(out, 'N', {});
}

void appendFailure(std::string& out, std::int32_t number, std::string_view text) {
    std::string payload;
    appendUint32(payload, static_cast<std::uint32_t>(number));
    payload.append(text);
    appendRecord(out, 'F', payload);
}

void appendEnd(std::string& out) {
    appendRecord(out, 'E', {});
}

Stream::Stream(std::vector<Expected> expected) : m_expected(std::move(expected)) {}

Stream::State Stream::malformed(const char* why) {
    m_state = State::Malformed;
    m_text = why;
    m_pending.clear();
    m_pending.shrink_to_fit();
    return m_state;
}

Stream::State Stream::feed(std::string_view bytes, const RowHandler& onRow) {
    if (bytes.empty() || m_state == State::Malformed)
        return m_state;
    if (m_state != State::Open)
        return malformed("bytes after the end");
    // Whole records are read straight from `bytes`; only a record cut by the
    // end of a piece is kept, and the next pieces are appended to it.
    const bool continuing = !m_pending.empty();
    if (continuing)
        m_pending.append(bytes);
    const std::string_view input = continuing ? std::string_view(m_pending) : bytes;
    std::size_t pos = 0;
    while (pos < input.size()) {
        if (m_state != State::Open)
            return malformed("bytes after the end");
        if (input.size() - pos < kHeaderSize)
            break;
        const std::uint32_t length = readUint32(input.substr(pos + 1, 4));
        if (input.size() - pos - kHeaderSize < length)
            break;
        const char tag = input[pos];
        const std::string_view payload = input.substr(pos + kHeaderSize, length);
        pos += kHeaderSize + length;
        if (record(tag, payload, onRow) == State::Malformed)
            return m_state;
    }
    if (continuing)
        m_pending.erase(0, pos);
    else
        m_pending.assign(input.substr(pos));
    return m_state;
}

Stream::State Stream::finish() {
    if (m_state != State::Open)
        return m_state;
    if (!m_pending.empty())
        return malformed(m_pending.size() < kHeaderSize ? "truncated record header"
                                                        : "record longer than the output");
    return malformed("no end record");
}

Stream::State Stream::record(char tag, std::string_view payload, const RowHandler& onRow) {
    if (!m_versionSeen) {
        if (tag != 'V' || payload != kVersion)
            return malformed("unknown format");
        m_versionSeen = true;
        return m_state;
    }
    // A table is whole when its last row is; checked at every table change
    // and at the end.
    switch (tag) {
    case 'T':
        if (!m_row.empty())
            return malformed("partial row");
        if (m_tables >= m_expected.size() || payload != m_expected[m_tables].table)
            return malformed("table not asked for, or out of order");
        ++m_tables;
        return m_state;
    case 'C':
    case 'N': {
        if (m_tables == 0)
            return malformed("cell outside a table");
        const std::size_t columns = m_expected[m_tables - 1].columns;
        if (columns == 0)
            return malformed("cell in a table of no columns");
        if (tag == 'N' && !payload.empty())
            return malformed("NULL cell with a payload");
        if (tag == 'N')
            m_row.emplace_back(std::nullopt);
        else
            m_row.emplace_back(std::string(payload));
        if (m_row.size() == columns) {
            onRow(m_tables - 1, m_row);
            m_row.clear();
        }
        return m_state;
    }
    case 'F':
        if (payload.size() < 4)
            return malformed("failure record out of place");
        m_state = State::Failure;
        m_number = static_cast<std::int32_t>(readUint32(payload));
        m_text = std::string(payload.substr(4));
        return m_state;
    case 'E':
        if (!payload.empty())
            return malformed("bytes after the end");
        if (!m_row.empty() || m_tables != m_expected.size())
            return malformed("tables missing or a partial row");
        m_state = State::Complete;
        return m_state;
    default:
        return malformed("unknown record");
    }
}

Parsed parse(std::string_view output, const std::vector<Expected>& expected) {
    Stream stream(expected);
    std::vector<Table> tables;
    for (const Expected& e : expected)
        tables.push_back({e.table, {}});
    stream.feed(output, [&tables](std::size_t table, std::vector<Cell>& row) {
        tables[table].rows.push_back(std::move(row));
    });
    Parsed p;
    switch (stream.finish()) {
    case Stream::State::Complete:
        p.kind = Parsed::Kind::Complete;
        p.tables = std::move(tables);
        break;
    case Stream::State::Failure:
        p.kind = Parsed::Kind::Failure;
        p.number = stream.number();
        p.text = stream.text();
        break;
    case Stream::State::Open:
    case Stream::State::Malformed:
        p.kind = Parsed::Kind::Malformed;
        p.text = stream.text();
        break;
    }
    return p;
}

} // namespace MdbFrames
