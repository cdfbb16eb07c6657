// Writing and reading the Access reader child's output records.
#include "access/MdbFrames.h"

namespace MdbFrames {

namespace {

constexpr std::string_view kTags = "VTCNFE";

} // namespace

void appendVersion(std::string& out) {
    ChildFrames::append(out, 'V', kVersion);
}

void appendTable(std::string& out, std::string_view name) {
    ChildFrames::append(out, 'T', name);
}

void appendCell(std::string& out, std::string_view text) {
    ChildFrames::append(out, 'C', text);
}

void appendNull(std::string& out) {
    ChildFrames::append(out, 'N', {});
}

void appendFailure(std::string& out, std::int32_t number, std::string_view text) {
    ChildFrames::append(out, 'F',
                        ChildFrames::u32(static_cast<std::uint32_t>(number)) + std::string(text));
}

void appendEnd(std::string& out) {
    ChildFrames::append(out, 'E', {});
}

Stream::Stream(std::vector<Expected> expected)
    : m_expected(std::move(expected)), m_reader(kVersion, kTags) {}

Stream::State Stream::settle(ChildFrames::Reader::State read) {
    if (read == ChildFrames::Reader::State::Malformed) {
        m_state = State::Malformed;
        m_text = m_reader.error();
    }
    return m_state;
}

Stream::State Stream::feed(std::string_view bytes, const RowHandler& onRow) {
    return settle(m_reader.feed(bytes, [this, &onRow](char tag, std::string_view payload) {
        return record(tag, payload, onRow);
    }));
}

Stream::State Stream::finish() {
    return settle(m_reader.finish());
}

const char* Stream::record(char tag, std::string_view payload, const RowHandler& onRow) {
    // A table is whole when its last row is; checked at every table change
    // and at the end.
    switch (tag) {
    case 'T':
        if (!m_row.empty())
            return "partial row";
        if (m_tables >= m_expected.size() || payload != m_expected[m_tables].table)
            return "table not asked for, or out of order";
        ++m_tables;
        return nullptr;
    case 'C':
    case 'N': {
        if (m_tables == 0)
            return "cell outside a table";
        const std::size_t columns = m_expected[m_tables - 1].columns;
        if (columns == 0)
            return "cell in a table of no columns";
        if (tag == 'N' && !payload.empty())
            return "NULL cell with a payload";
        if (tag == 'N')
            m_row.emplace_back(std::nullopt);
        else
            m_row.emplace_back(std::string(payload));
        if (m_row.size() == columns) {
            onRow(m_tables - 1, m_row);
            m_row.clear();
        }
        return nullptr;
    }
    case 'F': {
        std::uint32_t number = 0;
        if (!ChildFrames::readU32(payload, number))
            return "failure record out of place";
        m_state = State::Failure;
        m_number = static_cast<std::int32_t>(number);
        m_text = std::string(payload.substr(4));
        return nullptr;
    }
    case 'E':
        if (!payload.empty())
            return "bytes after the end";
        if (!m_row.empty() || m_tables != m_expected.size())
            return "tables missing or a partial row";
        m_state = State::Complete;
        return nullptr;
    default:
        return "unknown record";
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
