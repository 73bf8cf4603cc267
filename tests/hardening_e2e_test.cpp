// Bad input, failing files and programs running side by side: every case ends with a clear
// message and its exit status, never a crash or a hang, and no file is damaged that the user
// did not name as output.
#include <sys/stat.h>
#include <unistd.h>

#include <future>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "e2e.hpp"

namespace {

using fixtures::Bytes;
using fixtures::Nibbles;

struct Tester {
    const char* program;
    const char* name;
    std::string banner;
    std::string good_output;  // for good_rom(), unpacked
    Nibbles good_rom;
    friend void PrintTo(const Tester& t, std::ostream* os) { *os << t.name; }
};

std::vector<Tester> testers() {
    Nibbles brontal = fixtures::random_nibbles(0x20000, 77);
    fixtures::make_brontal_good(brontal);
    Nibbles quendrell = fixtures::random_nibbles(0x8000, 78);
    fixtures::make_quendrell_good(quendrell);
    return {
        {BRONTAL_ROMTEST, "brontal-romtest", "BRONTAL ROM Test V1.01\n",
         "1st ROM 1st Part = 01 -> Ok\n1st ROM 2nd Part = 01 -> Ok\nChecksums ok!\n", brontal},
        {QUENDRELL_ROMTEST, "quendrell-romtest", "QUENDRELL/DIRVO ROM Test V1.00\n",
         "Quendrell CRC Pass 0 = FFFF\nQuendrell CRC Pass 1 = FFFF\nCRC ok!\n", quendrell},
    };
}

class BadInput : public fixtures::EndToEnd, public testing::WithParamInterface<Tester> {
  protected:
    fixtures::RunResult run_tester(const std::vector<std::string>& arguments,
                                   fixtures::RunOptions options = {}) {
        return run(GetParam().program, GetParam().name, arguments, std::move(options));
    }
    void expect(const fixtures::RunResult& result, const std::string& output, int status) {
        EXPECT_EQ(result.output, GetParam().banner + output);
        EXPECT_EQ(result.status, status);
    }
};

TEST_P(BadInput, AnInputThatShrinksUnderTheMappingCannotBeRead) {
    if (PROGRAMS_STATIC) {
        GTEST_SKIP() << "a static program loads no preloaded library; the debug, asan and "
                        "memcheck builds run this test";
    }
    const Bytes packed = fixtures::pack(GetParam().good_rom);
    put("rom.bin", packed);
    fixtures::RunOptions options;
    options.environment = {std::string("LD_PRELOAD=") + SHRINK_ON_MAP,
                           "ROMTOOLS_SHRINK_ON_MAP=" + path("rom.bin"),
                           "ASAN_OPTIONS=verify_asan_link_order=0"};
    expect(run_tester({"rom.bin", "out.bin"}, options), "Cannot read file rom.bin.\n", 1);
    EXPECT_TRUE(get("rom.bin").empty());
    EXPECT_FALSE(exists("out.bin"));
}

TEST_P(BadInput, FilesTooLargeForAnyRomAreRefusedWithoutAllocating) {
    fixtures::make_sparse(path("huge.bin"), (4ull << 30) + 1, 0xFF);
    expect(run_tester({"huge.bin"}), "Cannot open file huge.bin.\n", 1);

    // A disk image given by mistake: measured, never built. Under a heap limit far below its
    // size it still ends with the verdict on its length.
    if (fixtures::run_under_wrapper()) {
        GTEST_SKIP() << "a memory checker reads a gibibyte too slowly";
    }
    fixtures::RunOptions options;
    options.data_size = fixtures::sanitized() ? 0 : 32ull << 20;
    fixtures::make_sparse(path("disk.img"), 1ull << 30, 0xFF);
    expect(run_tester({"disk.img", "out.bin"}, options), "Unpacking data...\nUnknown ROM size!\n",
           1);
    fixtures::make_sparse(path("disk.img"), 1ull << 30, 0x00);
    expect(run_tester({"disk.img", "out.bin"}, options), "Unknown ROM size!\n", 1);
    EXPECT_FALSE(exists("out.bin"));
}

TEST_P(BadInput, WhatIsNoRegularFileCannotBeOpened) {
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    ASSERT_EQ(mkdir(path("folder").c_str(), 0700), 0);
    ASSERT_EQ(symlink("nowhere.bin", path("dangling.bin").c_str()), 0);
    for (const std::string name : {"fifo", "folder", "dangling.bin", "/dev/null"}) {
        expect(run_tester({name}), "Cannot open file " + name + ".\n", 1);
    }
}

TEST_P(BadInput, AnUnreadableInputCannotBeOpened) {
    put("rom.bin", GetParam().good_rom);
    ASSERT_EQ(chmod(path("rom.bin").c_str(), 0), 0);
    expect(run_tester({"rom.bin"}, unprivileged()), "Cannot open file rom.bin.\n", 1);
}

TEST_P(BadInput, ASymlinkToAGoodImageWorks) {
    put("rom.bin", GetParam().good_rom);
    ASSERT_EQ(symlink("rom.bin", path("link.bin").c_str()), 0);
    expect(run_tester({"link.bin"}), GetParam().good_output, 0);
}

TEST_P(BadInput, OutputsThatCannotBeWritten) {
    put("rom.bin", GetParam().good_rom);
    ASSERT_EQ(mkdir(path("folder").c_str(), 0700), 0);
    for (const std::string name : {"folder", "missing/out.bin", "/dev/full"}) {
        expect(run_tester({"rom.bin", name}),
               GetParam().good_output + "Cannot write to file " + name + ".\n", 1);
    }
    EXPECT_EQ(get("rom.bin"), GetParam().good_rom);
}

TEST_P(BadInput, AnOutputInAReadOnlyFolderCannotBeWritten) {
    put("rom.bin", GetParam().good_rom);
    ASSERT_EQ(mkdir(path("locked").c_str(), 0555), 0);
    expect(run_tester({"rom.bin", "locked/out.bin"}, unprivileged()),
           GetParam().good_output + "Cannot write to file locked/out.bin.\n", 1);
}

INSTANTIATE_TEST_SUITE_P(Testers, BadInput, testing::ValuesIn(testers()), [](const auto& info) {
    std::string name = info.param.name;
    std::erase(name, '-');
    return name;
});

class BadCapture : public fixtures::EndToEnd {};

TEST_F(BadCapture, AReadErrorIsNoEndOfFile) {
    const auto result = run(BLOKJOIN, "blokjoin", {"/proc/self/mem", "out.bin"});
    EXPECT_EQ(result.output, "Checking Address 00000...\n/PROC/SELF/MEM: Read error\n");
    EXPECT_EQ(result.status, 3);
}

TEST_F(BadCapture, AFolderIsNoCapture) {
    ASSERT_EQ(mkdir(path("dump").c_str(), 0700), 0);
    const auto result = run(BLOKJOIN, "blokjoin", {"dump", "out.bin"});
    EXPECT_EQ(result.output, "Error: Unable to open file DUMP !\n");
    EXPECT_EQ(result.status, 1);
}

TEST_F(BadCapture, AHugeFileOfZerosEndsAtOnce) {
    fixtures::make_sparse(path("zeros.cap"), 1ull << 30, 0x00);
    const auto result = run(BLOKJOIN, "blokjoin", {"zeros.cap", "out.bin"});
    EXPECT_EQ(result.output, "Checking Address 00000...\nZEROS.CAP: No SOH\n");
    EXPECT_EQ(result.status, 3);
    EXPECT_TRUE(get("out.bin").empty());
}

TEST_F(BadCapture, ADestinationInAReadOnlyFolder) {
    put("a.cap", fixtures::capture_of(Bytes(128, 1)));
    ASSERT_EQ(mkdir(path("locked").c_str(), 0555), 0);
    const auto result = run(BLOKJOIN, "blokjoin", {"a.cap", "locked/out.bin"}, unprivileged());
    EXPECT_EQ(result.output, "Error: Unable to overwrite file LOCKED/OUT.BIN !\n");
    EXPECT_EQ(result.status, 2);
}

class SideBySide : public fixtures::EndToEnd {};

TEST_F(SideBySide, TwoTestersOnOneInput) {
    // The second either finds the input held or runs after the first: never a damaged file.
    const Tester quendrell = testers()[1];
    const Bytes packed = fixtures::pack(quendrell.good_rom);
    put("rom.bin", packed);
    const std::string good = quendrell.banner + "Unpacking data...\n" + quendrell.good_output;
    const std::string held = quendrell.banner + "Cannot open file rom.bin.\n";
    for (int round = 0; round < 10; ++round) {
        auto first = std::async(std::launch::async, [&] {
            return run(QUENDRELL_ROMTEST, "quendrell-romtest", {"rom.bin", "out1.bin"});
        });
        const auto second = run(QUENDRELL_ROMTEST, "quendrell-romtest", {"rom.bin", "out2.bin"});
        for (const fixtures::RunResult& result : {first.get(), second}) {
            EXPECT_TRUE(result.output == good || result.output == held) << result.output;
            EXPECT_EQ(result.status, result.output == good ? 0 : 1);
        }
        EXPECT_EQ(get("rom.bin"), packed);
    }
}

TEST_F(SideBySide, ATesterAskedToReadAnImageBeingWritten) {
    // blokjoin locks its image before cutting it: a tester sees the old image whole, the new
    // one whole, or a file it cannot open; blokjoin never cuts an image a tester holds.
    Nibbles old_rom = fixtures::random_nibbles(0x8000, 5);
    fixtures::make_quendrell_good(old_rom);
    Nibbles new_rom = fixtures::random_nibbles(0x20000, 6);
    fixtures::make_quendrell_good(new_rom);
    const std::string banner = "QUENDRELL/DIRVO ROM Test V1.00\n";
    const std::set<std::string> allowed = {
        banner +
            "Unpacking data...\nQuendrell CRC Pass 0 = FFFF\nQuendrell CRC Pass 1 = FFFF\n"
            "CRC ok!\n",
        banner +
            "Unpacking data...\n1st Dirvo CRC Pass 0 = FFFF\n1st Dirvo CRC Pass 1 = FFFF\n"
            "CRC ok!\n",
        banner + "Cannot open file rom.bin.\n"};
    put("new.cap", fixtures::capture_of(fixtures::pack(new_rom)));
    for (int round = 0; round < 5; ++round) {
        put("rom.bin", fixtures::pack(old_rom));
        auto writer = std::async(std::launch::async, [&] {
            return run(BLOKJOIN, "blokjoin", {"new.cap", "rom.bin"});
        });
        std::vector<fixtures::RunResult> reads;
        while (writer.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
            reads.push_back(run(QUENDRELL_ROMTEST, "quendrell-romtest", {"rom.bin"}));
        }
        const fixtures::RunResult joined = writer.get();
        for (const auto& read : reads) {
            EXPECT_TRUE(allowed.contains(read.output)) << read.output;
        }
        if (joined.status == 0) {
            EXPECT_EQ(get("rom.bin"), fixtures::pack(new_rom));
        } else {
            EXPECT_EQ(joined.output, "Error: Unable to overwrite file ROM.BIN !\n");
            EXPECT_EQ(joined.status, 2);
            EXPECT_EQ(get("rom.bin"), fixtures::pack(old_rom));
        }
    }
}

}  // namespace
