// dadav-leitor-mdb: the short-lived child in which the client reads Access
// files. It reads the requested tables of one file and writes them on its
// standard output in the records of MdbFrames (the pipe it was started
// with; its own descriptor 1 then points at standard error), then exits. A damaged file
// may crash or stall it; the client, which started it under a time and
// memory limit, then reports an invalid file and goes on.
//
// Usage: dadav-leitor-mdb FILE {--table NAME {--names | {--column NAME | --position N}...}}...
// Exit status: 0 with an end record, 1 with a failure record, 2 for a wrong
// command line (nothing written).
#include "access/MdbFrames.h"
#include "access/MdbTableReader.h"
#include "childprocess/ChildOutput.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Records go out in blocks of about this size, so that a large table
// never sits whole in the child's memory.
constexpr std::size_t kFlushSize = 64 * 1024;

std::optional<std::vector<MdbTableReader::Request>> parseArguments(int argc, char** argv) {
    std::vector<MdbTableReader::Request> requests;
    for (int i = 2; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--names" && !requests.empty() && requests.back().columns.empty()) {
            requests.back().columnNames = true;
            continue;
        }
        if (i + 1 >= argc)
            return std::nullopt;
        const std::string_view value = argv[++i];
        if (option == "--table") {
            requests.push_back({std::string(value), {}});
        } else if (requests.empty() || requests.back().columnNames) {
            return std::nullopt;
        } else if (option == "--column" && !value.empty()) {
            requests.back().columns.push_back(MdbTableReader::Column::named(std::string(value)));
        } else if (option == "--position") {
            int position = -1;
            const auto [end, error] =
                std::from_chars(value.data(), value.data() + value.size(), position);
            if (error != std::errc() || end != value.data() + value.size() || position < 0)
                return std::nullopt;
            requests.back().columns.push_back(MdbTableReader::Column::at(position));
        } else {
            return std::nullopt;
        }
    }
    for (const MdbTableReader::Request& r : requests) {
        if (r.columns.empty() == !r.columnNames)
            return std::nullopt;
    }
    if (requests.empty())
        return std::nullopt;
    return requests;
}

} // namespace

// Test builds run the child under the undefined-behaviour sanitizer, which
// would catch a fault inside the Access library and exit with a status of
// its own; it is left to kill the child by its signal instead, as it does in
// the program users run, so that the tests meet the same crash.
extern "C" const char* __ubsan_default_options() {
    return "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:handle_abort=0";
}

int main(int argc, char** argv) {
    ChildOutput::keepRecordsPrivate();
    const std::optional<std::vector<MdbTableReader::Request>> requests =
        argc >= 2 ? parseArguments(argc, argv) : std::nullopt;
    if (!requests) {
        std::fputs("uso: dadav-leitor-mdb ARQUIVO {--table NOME {--names | {--column NOME | "
                   "--position N}...}}...\n",
                   stderr);
        return 2;
    }

    std::string out;
    MdbFrames::appendVersion(out);
    MdbTableReader::Sink sink;
    sink.table = [&out](const std::string& table) {
        MdbFrames::appendTable(out, table);
    };
    sink.row = [&out](const std::vector<MdbTableReader::Cell>& row) {
        for (const MdbTableReader::Cell& cell : row) {
            if (cell)
                MdbFrames::appendCell(out, *cell);
            else
                MdbFrames::appendNull(out);
        }
        if (out.size() >= kFlushSize)
            ChildOutput::writeAll(out);
    };
    try {
        MdbTableReader::read(argv[1], *requests, sink);
    } catch (const MdbTableReader::Error& e) {
        MdbFrames::appendFailure(out, e.number(), e.what());
        ChildOutput::writeAll(out);
        return 1;
    } catch (const std::exception& e) {
        // Out of memory under the client's limit, most likely: without an
        // end record the client takes the output as incomplete.
        std::fprintf(stderr, "dadav-leitor-mdb: %s\n", e.what());
        return 3;
    }
    MdbFrames::appendEnd(out);
    ChildOutput::writeAll(out);
    return 0;
}
