// Fuzz target for reading export files: each input is taken twice.
// - As what the reader child writes: the client's record parser accepts or
//   refuses it, never crashes (the child's output is outside input too), and
//   reads it in pieces exactly as it reads it whole.
// - As an export file: the libmdb reader reads it in-process (for coverage),
//   its rows are written as the child writes them and parsed back; they must
//   come back whole and equal. The file is written to disk because the
//   reader, like the child, takes a path. Seed it with the export fixtures
//   to get past the signature check. A crash inside libmdb itself is what
//   the child exists for (the damaged-export fixture is one); a crash in the
//   reader's own code or in the parser is a fault.
#include "access/MdbFrames.h"
#include "access/MdbTableReader.h"

#include <QTemporaryFile>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

const std::vector<MdbFrames::Expected> kExpected{{"tblContribuinte", 4}};

void readAsFile(const std::uint8_t* data, std::size_t size) {
    static QTemporaryFile file;
    if (!file.isOpen() && !file.open())
        std::abort();
    if (!file.resize(0) || !file.seek(0) ||
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) !=
            static_cast<qint64>(size) ||
        !file.flush())
        std::abort();

    MdbTableReader::Request request{"tblContribuinte", {}};
    for (int i = 0; i < 4; ++i)
        request.columns.push_back(MdbTableReader::Column::at(i));
    std::vector<std::vector<MdbFrames::Cell>> rows;
    std::string out;
    MdbFrames::appendVersion(out);
    MdbTableReader::Sink sink;
    sink.table = [&out](const std::string& table) {
        MdbFrames::appendTable(out, table);
    };
    sink.row = [&](const std::vector<MdbTableReader::Cell>& row) {
        rows.push_back(row);
        for (const MdbTableReader::Cell& cell : row) {
            if (cell)
                MdbFrames::appendCell(out, *cell);
            else
                MdbFrames::appendNull(out);
        }
    };
    bool failed = false;
    try {
        MdbTableReader::read(file.fileName().toStdString(), {request}, sink);
        MdbFrames::appendEnd(out);
    } catch (const MdbTableReader::Error& e) {
        MdbFrames::appendFailure(out, e.number(), e.what());
        failed = true;
    }

    const MdbFrames::Parsed parsed = MdbFrames::parse(out, kExpected);
    if (failed) {
        if (parsed.kind != MdbFrames::Parsed::Kind::Failure)
            std::abort();
    } else if (parsed.kind != MdbFrames::Parsed::Kind::Complete ||
               parsed.tables.at(0).rows != rows) {
        std::abort();
    }
}

} // namespace

// The output read in three pieces, cut where its first bytes say, must read
// as it does whole: the client reads the child's pipe as it fills.
void readInPieces(std::string_view output) {
    const MdbFrames::Parsed whole = MdbFrames::parse(output, kExpected);
    const std::size_t first = output.empty() ? 0 : static_cast<unsigned char>(output[0]) * 7;
    const std::size_t second = output.size() < 2 ? 0 : static_cast<unsigned char>(output[1]) * 13;
    MdbFrames::Stream stream(kExpected);
    std::vector<std::vector<MdbFrames::Cell>> rows;
    const auto onRow = [&rows](std::size_t, std::vector<MdbFrames::Cell>& row) {
        rows.push_back(row);
    };
    std::size_t at = 0;
    for (std::size_t cut : {first, first + second, output.size()}) {
        cut = std::min(std::max(cut, at), output.size());
        stream.feed(output.substr(at, cut - at), onRow);
        at = cut;
    }
    const MdbFrames::Stream::State state = stream.finish();
    const bool same =
        whole.kind == MdbFrames::Parsed::Kind::Complete
            ? state == MdbFrames::Stream::State::Complete && rows == whole.tables.at(0).rows
        : whole.kind == MdbFrames::Parsed::Kind::Failure
            ? state == MdbFrames::Stream::State::Failure && stream.number() == whole.number
            : state == MdbFrames::Stream::State::Malformed;
    if (!same)
        std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    readInPieces(std::string_view(reinterpret_cast<const char*>(data), size));
    readAsFile(data, size);
    return 0;
}
