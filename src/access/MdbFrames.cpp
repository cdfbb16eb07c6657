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

Parsed malformed(const char* why) {
    Parsed p;
    p.kind = Parsed::Kind::Malformed;
    p.text = why;
    return p;
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

Parsed parse(std::string_view output, const std::vector<Expected>& expected) {
    std::vector<Table> tables;
    std::vector<Cell> row;
    bool versionSeen = false;
    std::size_t pos = 0;

    // A table is whole when its last row is; checked at every table change
    // and at the end.
    const auto rowOpen = [&row] {
        return !row.empty();
    };

    while (pos < output.size()) {
        if (output.size() - pos < kHeaderSize)
            return malformed("truncated record header");
        const char tag = output[pos];
        const std::uint32_t length = readUint32(output.substr(pos + 1, 4));
        pos += kHeaderSize;
        if (output.size() - pos < length)
            return malformed("record longer than the output");
        const std::string_view payload = output.substr(pos, length);
        pos += length;

        if (!versionSeen) {
            if (tag != 'V' || payload != kVersion)
                return malformed("unknown format");
            versionSeen = true;
            continue;
        }
        switch (tag) {
        case 'T': {
            if (rowOpen())
                return malformed("partial row");
            const std::size_t index = tables.size();
            if (index >= expected.size() || payload != expected[index].table)
                return malformed("table not asked for, or out of order");
            tables.push_back({std::string(payload), {}});
            break;
        }
        case 'C':
        case 'N': {
            if (tables.empty())
                return malformed("cell outside a table");
            const std::size_t columns = expected[tables.size() - 1].columns;
            if (columns == 0)
                return malformed("cell in a table of no columns");
            if (tag == 'N' && !payload.empty())
                return malformed("NULL cell with a payload");
            if (tag == 'N')
                row.emplace_back(std::nullopt);
            else
                row.emplace_back(std::string(payload));
            if (row.size() == columns) {
                tables.back().rows.push_back(std::move(row));
                row.clear();
            }
            break;
        }
        case 'F': {
            if (payload.size() < 4 || pos != output.size())
                return malformed("failure record out of place");
            Parsed p;
            p.kind = Parsed::Kind::Failure;
            p.number = static_cast<std::int32_t>(readUint32(payload));
            p.text = std::string(payload.substr(4));
            return p;
        }
        case 'E': {
            if (!payload.empty() || pos != output.size())
                return malformed("bytes after the end");
            if (rowOpen() || tables.size() != expected.size())
                return malformed("tables missing or a partial row");
            Parsed p;
            p.kind = Parsed::Kind::Complete;
            p.tables = std::move(tables);
            return p;
        }
        default:
            return malformed("unknown record");
        }
    }
    return malformed("no end record");
}

} // namespace MdbFrames
