// The helper children's record format: bytes in, records out, whole or
// piece by piece; what is refused and why; the writer's bound.
#include "childprocess/ChildFrames.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

using State = ChildFrames::Reader::State;
using Records = std::vector<std::pair<char, std::string>>;

// A record written out by hand, so that the reader is not checked against
// the writer alone.
std::string record(char tag, std::string_view payload, std::uint32_t claimed) {
    std::string r(1, tag);
    for (int shift = 24; shift >= 0; shift -= 8)
        r.push_back(static_cast<char>((claimed >> shift) & 0xFF));
    return r.append(payload);
}

std::string record(char tag, std::string_view payload) {
    return record(tag, payload, static_cast<std::uint32_t>(payload.size()));
}

struct Read {
    State state;
    Records records;
    std::string error;
};

Read read(const std::string& bytes, std::size_t step) {
    ChildFrames::Reader reader("p/1", "VAFE", 8);
    Read r{State::Open, {}, {}};
    for (std::size_t pos = 0; pos < bytes.size(); pos += step)
        reader.feed(std::string_view(bytes).substr(pos, step),
                    [&r](char tag, std::string_view payload) -> const char* {
                        r.records.emplace_back(tag, std::string(payload));
                        return payload == "nao" ? "refused by the program" : nullptr;
                    });
    r.state = reader.finish();
    r.error = reader.error();
    return r;
}

TEST(ChildFrames, ReadsRecordsAndRefusesWhatBreaksTheFormat) {
    const std::string v = record('V', "p/1");
    const std::string a = record('A', "12345678"); // exactly the bound
    const std::string e = record('E', "");
    const struct {
        const char* what;
        std::string bytes;
        State state;
        Records records;
        std::string error;
    } cases[] = {
        {"records to the end", v + a + record('A', "") + e, State::Ended,
         Records{{'A', "12345678"}, {'A', ""}, {'E', ""}}, ""},
        {"a failure ends it too", v + record('F', "x"), State::Ended, Records{{'F', "x"}}, ""},
        {"a claimed length over the bound", v + record('A', "123456789"), State::Malformed,
         Records{}, "record too long"},
        {"a claimed length of 4 GiB, refused from its header", v + record('A', "ab", 0xFFFFFFFF),
         State::Malformed, Records{}, "record too long"},
        {"a tag the program does not write", v + "garbage\n", State::Malformed, Records{},
         "unknown record"},
        {"another version", record('V', "p/2") + e, State::Malformed, Records{}, "wrong version"},
        {"no version", a + e, State::Malformed, Records{}, "wrong version"},
        {"a version twice", v + v + e, State::Malformed, Records{}, "version twice"},
        {"bytes after the end", v + e + "E", State::Malformed, Records{{'E', ""}},
         "bytes after the end"},
        {"a record the program refuses", v + record('A', "nao") + e, State::Malformed,
         Records{{'A', "nao"}}, "refused by the program"},
        {"no end", v + a, State::Malformed, Records{{'A', "12345678"}}, "no end record"},
        {"cut in a header", v + e.substr(0, 3), State::Malformed, Records{},
         "truncated record header"},
        {"cut in a payload", v + a.substr(0, 7), State::Malformed, Records{}, "truncated record"},
        {"nothing", "", State::Malformed, Records{}, "no output"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const std::size_t step : {c.bytes.size() + 1, std::size_t{1}, std::size_t{6}}) {
            const Read r = read(c.bytes, step);
            EXPECT_EQ(r.state, c.state) << step;
            EXPECT_EQ(r.records, c.records) << step;
            EXPECT_EQ(r.error, c.error) << step;
        }
    }
}

TEST(ChildFrames, TheWriterNeverWritesWhatTheReaderRefuses) {
    std::string out;
    ChildFrames::append(out, 'A', std::string(ChildFrames::kMaxPayload, 'x'));
    EXPECT_EQ(out.size(), ChildFrames::kHeaderSize + ChildFrames::kMaxPayload);
    const std::string before = out;
    EXPECT_THROW(ChildFrames::append(out, 'A', std::string(ChildFrames::kMaxPayload + 1, 'x')),
                 std::length_error);
    EXPECT_EQ(out, before);
    std::uint64_t value = 0;
    EXPECT_TRUE(ChildFrames::readU64(ChildFrames::u64(0x0102030405060708u), value));
    EXPECT_EQ(value, 0x0102030405060708u);
}

} // namespace
