// blokjoin from the outside: exact output, exit status and the image it writes.
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cstdio>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "e2e.hpp"

namespace {

using fixtures::Bytes;

// Distinct data for every block, so that a misplaced block shows.
Bytes data_of(std::size_t blocks, std::uint8_t seed = 0) {
    Bytes data(128 * blocks);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>((i * 31 + seed + i / 128) & 0xFF);
    }
    return data;
}

Bytes capture(std::size_t blocks, std::uint8_t seed = 0) {
    return fixtures::capture_of(data_of(blocks, seed));
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes first_bytes(const Bytes& bytes, std::size_t count) {
    return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(count));
}

// Progress lines for `blocks` attempts from `address` on, 128 bytes apart.
std::string progress(std::uint32_t address, std::size_t attempts) {
    std::string lines;
    for (std::size_t i = 0; i < attempts; ++i) {
        char line[40];
        std::snprintf(line, sizeof line, "Checking Address %05X...\n",
                      static_cast<unsigned>(address + 128 * i));
        lines += line;
    }
    return lines;
}

Bytes with_byte(Bytes bytes, std::size_t at, std::uint8_t value) {
    bytes[at] = value;
    return bytes;
}

struct Case {
    const char* name;
    std::vector<std::pair<std::string, Bytes>> files;  // made before the run
    std::vector<std::string> arguments;
    std::string output;
    int status;
    Bytes image;  // what out.bin holds afterwards
    friend void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }
};

std::vector<Case> cases() {
    const Bytes two = capture(2);
    const Bytes one = capture(1, 99);
    const Bytes wrapped_two = fixtures::wrapped(two);
    Bytes wrap_then_junk = fixtures::wrapped(two) + capture(1, 5);
    Bytes numbers_wrap = fixtures::capture_of(data_of(257));
    std::vector<Case> all = {
        {"OneSource",
         {{"cap1.cap", two}},
         {"cap1.cap", "out.bin"},
         progress(0, 3) + "ROM size = 00100h = 0KB\n",
         0,
         data_of(2)},
        {"TwoSourcesRunOn",
         {{"cap1.cap", two}, {"cap2.cap", one}},
         {"cap1.cap", "cap2.cap", "out.bin"},
         progress(0, 3) + progress(0x100, 2) + "ROM size = 00180h = 0KB\n",
         0,
         data_of(2) + data_of(1, 99)},
        {"SameSourceTwice",
         {{"cap1.cap", two}},
         {"cap1.cap", "cap1.cap", "out.bin"},
         progress(0, 3) + progress(0x100, 3) + "ROM size = 00200h = 0KB\n",
         0,
         data_of(2) + data_of(2)},
        {"BlockNumbersWrap",
         {{"cap1.cap", numbers_wrap}},
         {"cap1.cap", "out.bin"},
         progress(0, 258) + "ROM size = 08080h = 32KB\n",
         0,
         data_of(257)},
        {"EmptySource",
         {{"cap1.cap", {}}},
         {"cap1.cap", "out.bin"},
         progress(0, 1) + "ROM size = 00000h = 0KB\n",
         0,
         {}},

        // Faults end the source with a message; what the faulty block delivered stays.
        {"EndOfTransmission",
         {{"cap1.cap", two + Bytes{0x04}}},
         {"cap1.cap", "out.bin"},
         progress(0, 3) + "CAP1.CAP: No SOH\n",
         3,
         data_of(2)},
        {"LoneStartByte",
         {{"cap1.cap", two + Bytes{0x01}}},
         {"cap1.cap", "out.bin"},
         progress(0, 3) + "CAP1.CAP: EOF at Block No.\n",
         3,
         data_of(2)},
        {"BlockSentTwice",
         {{"cap1.cap", first_bytes(two, 132) + first_bytes(two, 132)}},
         {"cap1.cap", "out.bin"},
         progress(0, 2) + "CAP1.CAP: Got 1 instead of 2 Block No\n",
         3,
         data_of(1)},
        {"CutAtInvertedNumber",
         {{"cap1.cap", two + Bytes{0x01, 0x03}}},
         {"cap1.cap", "out.bin"},
         progress(0, 3) + "CAP1.CAP: EOF at Inv. Block No.\n",
         3,
         data_of(2)},
        {"WrongInvertedNumber",
         {{"cap1.cap", with_byte(two, 134, 0x00)}},
         {"cap1.cap", "out.bin"},
         progress(0, 2) + "CAP1.CAP: Got 0 instead of 253 Inv. Block No\n",
         3,
         data_of(1)},
        {"CutInData",
         {{"cap1.cap", first_bytes(two, 132 + 3 + 57)}},
         {"cap1.cap", "out.bin"},
         progress(0, 2) + "CAP1.CAP: EOF at Databyte 57\n",
         3,
         first_bytes(data_of(2), 128 + 57)},
        {"CutAtFirstDataByte",
         {{"cap1.cap", first_bytes(two, 3)}},
         {"cap1.cap", "out.bin"},
         progress(0, 1) + "CAP1.CAP: EOF at Databyte 0\n",
         3,
         {}},
        {"CutAtChecksum",
         {{"cap1.cap", first_bytes(two, 263)}},
         {"cap1.cap", "out.bin"},
         progress(0, 2) + "CAP1.CAP: EOF at checksum\n",
         3,
         data_of(2)},
        {"WrongChecksum",
         {{"cap1.cap", with_byte(two, 263, static_cast<std::uint8_t>(two[263] + 1))}},
         {"cap1.cap", "out.bin"},
         progress(0, 2) + "CAP1.CAP: Got " + std::to_string((two[263] + 1) & 0xFF) +
             " instead of " + std::to_string(two[263]) + " as checksum\n",
         3,
         data_of(2)},
        {"FaultStopsTheSourcesAfterIt",
         {{"cap1.cap", two + Bytes{0x04}}},
         {"cap1.cap", "missing2.cap", "missing3.cap", "out.bin"},
         progress(0, 3) + "CAP1.CAP: No SOH\n",
         3,
         data_of(2)},

        // The object header and the limit of its string.
        {"WrappedCapture",
         {{"cap1.cap", wrapped_two}},
         {"cap1.cap", "out.bin"},
         progress(0, 3) + "ROM size = 00100h = 0KB\n",
         0,
         data_of(2)},
        {"JunkPastTheStringIgnored",
         {{"cap1.cap", wrap_then_junk}},
         {"cap1.cap", "out.bin"},
         progress(0, 3) + "ROM size = 00100h = 0KB\n",
         0,
         data_of(2)},
        {"EmptyString",
         {{"cap1.cap", fixtures::wrapped({}) + two}},
         {"cap1.cap", "out.bin"},
         progress(0, 1) + "ROM size = 00000h = 0KB\n",
         0,
         {}},
        {"OtherObjectReadFromOffset13",
         {{"cap1.cap", fixtures::wrapped(two, 0x02A4E)}},
         {"cap1.cap", "out.bin"},
         progress(0, 3) + "ROM size = 00100h = 0KB\n",
         0,
         data_of(2)},
        {"ShortFileIsBare",
         {{"cap1.cap", Bytes{'H', 'P', 'H', 'P'}}},
         {"cap1.cap", "out.bin"},
         progress(0, 1) + "CAP1.CAP: No SOH\n",
         3,
         {}},
        {"WrappedAndBareJoin",
         {{"a.cap", wrapped_two}, {"b.cap", one}},
         {"a.cap", "b.cap", "out.bin"},
         progress(0, 3) + progress(0x100, 2) + "ROM size = 00180h = 0KB\n",
         0,
         data_of(2) + data_of(1, 99)},

        // Files that cannot be had.
        {"NoArguments", {}, {}, "Syntax: Blokjoin source [source ...] destination\n", 4, {}},
        {"OneArgument",
         {{"cap1.cap", two}},
         {"cap1.cap"},
         "Syntax: Blokjoin source [source ...] destination\n",
         4,
         {}},
        {"MissingSecondSource",
         {{"cap1.cap", two}, {"cap3.cap", one}},
         {"cap1.cap", "Missing.cap", "cap3.cap", "out.bin"},
         progress(0, 3) + "Error: Unable to open file MISSING.CAP !\n",
         1,
         data_of(2)},
        {"ExistingDestinationTruncated",
         {{"out.bin", Bytes(500, 0xEE)}},
         {"nothing.cap", "out.bin"},
         "Error: Unable to open file NOTHING.CAP !\n",
         1,
         {}},
        {"DestinationFolderMissing",
         {{"cap1.cap", two}},
         {"cap1.cap", "no/out.bin"},
         "Error: Unable to overwrite file NO/OUT.BIN !\n",
         2,
         {}},
        {"DestinationIsASource",
         {{"cap1.cap", two}},
         {"cap1.cap", "./cap1.cap"},
         "Error: Unable to overwrite file ./CAP1.CAP !\n",
         2,
         {}},
    };
#ifndef _WIN32
    // Devices that only POSIX systems have.
    all.insert(all.end(),
               {
                   {"DestinationFull",
                    {{"cap1.cap", capture(40)}},
                    {"cap1.cap", "/dev/full"},
                    progress(0, 41) + "Error: Unable to write file /DEV/FULL !\n",
                    2,
                    {}},
                   {"DestinationFullAfterFault",
                    {{"cap1.cap", two + Bytes{0x04}}},
                    {"cap1.cap", "/dev/full"},
                    progress(0, 3) + "CAP1.CAP: No SOH\nError: Unable to write file /DEV/FULL !\n",
                    2,
                    {}},
               });
#endif
    return all;
}

class BlokjoinCase : public fixtures::EndToEnd, public testing::WithParamInterface<Case> {};

TEST_P(BlokjoinCase, PrintsEndsAndWrites) {
    const Case& c = GetParam();
    for (const auto& [name, bytes] : c.files) {
        put(name, bytes);
    }
    const fixtures::RunResult result = run(BLOKJOIN, "blokjoin", c.arguments);
    EXPECT_EQ(result.output, c.output);
    EXPECT_EQ(result.status, c.status);
    if (!c.arguments.empty() && c.arguments.back() == "out.bin") {
        EXPECT_EQ(get("out.bin"), c.image);
    }
    // Sources are never changed.
    for (const auto& [name, bytes] : c.files) {
        if (name != "out.bin") {
            EXPECT_EQ(get(name), bytes) << name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Blokjoin, BlokjoinCase, testing::ValuesIn(cases()),
                         [](const auto& info) { return std::string(info.param.name); });

class Blokjoin : public fixtures::EndToEnd {};

TEST_F(Blokjoin, FullRomSizeLine) {
    put("a.cap", capture(2048, 1));
    put("b.cap", fixtures::wrapped(capture(2048, 2)));
    const auto result = run(BLOKJOIN, "blokjoin", {"a.cap", "b.cap", "rom.bin"});
    EXPECT_EQ(result.output,
              progress(0, 2049) + progress(0x40000, 2049) + "ROM size = 80000h = 512KB\n");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(get("rom.bin"), data_of(2048, 1) + data_of(2048, 2));
}

TEST_F(Blokjoin, ADestinationLinkedToASourceIsRefused) {
    const Bytes two = capture(2);
    put("cap1.cap", two);
    std::filesystem::create_hard_link(path("cap1.cap"), path("hard.bin"));
    std::vector<std::pair<std::string, std::string>> names = {{"hard.bin", "HARD.BIN"}};
#ifndef _WIN32
    std::filesystem::create_symlink("cap1.cap", path("soft.bin"));
    names.emplace_back("soft.bin", "SOFT.BIN");
#endif
    for (const auto& [name, shown] : names) {
        const auto result = run(BLOKJOIN, "blokjoin", {"cap1.cap", name});
        EXPECT_EQ(result.output, std::string("Error: Unable to overwrite file ") + shown + " !\n");
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(get("cap1.cap"), two);
    }
}

#ifndef _WIN32
TEST_F(Blokjoin, AStreamThatCannotRewindReadsAsAFile) {
    // The probe's 13 bytes must not be lost on a pipe, and a wrapped string keeps its limit.
    struct Source {
        Bytes bytes;
        std::string output;
    };
    const Bytes two = capture(2);
    for (const Source& s :
         {Source{two, progress(0, 3) + "ROM size = 00100h = 0KB\n"},
          Source{fixtures::wrapped(two) + Bytes{0x04},
                 progress(0, 3) + "ROM size = 00100h = 0KB\n"},
          Source{two + Bytes{0x01, 0x03}, progress(0, 3) + "/DEV/STDIN: EOF at Inv. Block No.\n"},
          Source{Bytes{0x01, 0x01}, progress(0, 1) + "/DEV/STDIN: EOF at Inv. Block No.\n"}}) {
        fixtures::RunOptions options;
        options.input.assign(s.bytes.begin(), s.bytes.end());
        const auto piped = run(BLOKJOIN, "blokjoin", {"/dev/stdin", "out.bin"}, options);
        put("file.cap", s.bytes);
        const auto from_file = run(BLOKJOIN, "blokjoin", {"file.cap", "file.bin"});
        EXPECT_EQ(piped.output, s.output);
        EXPECT_EQ(get("out.bin"), get("file.bin"));
        EXPECT_EQ(piped.status, from_file.status);
    }
}

TEST_F(Blokjoin, AFifoSourceIsReadWhole) {
    ASSERT_EQ(mkfifo(path("pipe.cap").c_str(), 0600), 0);
    const Bytes object = fixtures::wrapped(capture(3)) + Bytes(50, 0x1A);
    std::thread writer([&] {
        std::FILE* fifo = std::fopen(path("pipe.cap").c_str(), "wb");
        if (fifo != nullptr) {
            std::fwrite(object.data(), 1, object.size(), fifo);
            std::fclose(fifo);
        }
    });
    const auto result = run(BLOKJOIN, "blokjoin", {"pipe.cap", "out.bin"});
    writer.join();
    EXPECT_EQ(result.output, progress(0, 4) + "ROM size = 00180h = 0KB\n");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(get("out.bin"), data_of(3));
}

#endif

}  // namespace
