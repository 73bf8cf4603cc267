// quendrell-romtest from the outside: exact output, exit status and files.
#include <cstdio>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "crc_passes.hpp"
#include "e2e.hpp"

namespace {

using fixtures::Bytes;
using fixtures::Nibbles;

constexpr const char* BANNER = "QUENDRELL/DIRVO ROM Test V1.00\n";
const std::string UNPACKING = "Unpacking data...\n";

const std::string QUENDRELL_GOOD = "Quendrell CRC Pass 0 = FFFF\nQuendrell CRC Pass 1 = FFFF\n";
const std::string FIRST_DIRVO_GOOD = "1st Dirvo CRC Pass 0 = FFFF\n1st Dirvo CRC Pass 1 = FFFF\n";
const std::string EXTERNAL_GOOD = "External ROM CRC     = FFFF\n";
const std::string SECOND_DIRVO_GOOD = "2nd Dirvo CRC Pass 0 = FFFF\n2nd Dirvo CRC Pass 1 = FFFF\n";

const Nibbles& good_image(std::size_t length) {
    static std::map<std::size_t, Nibbles> images;  // a map keeps the references handed out
    auto [at, made] = images.try_emplace(length);
    if (made) {
        at->second = fixtures::random_nibbles(length, static_cast<std::uint32_t>(length + 5));
        fixtures::make_quendrell_good(at->second);
    }
    return at->second;
}

Nibbles with_nibble_changed(const Nibbles& image, std::size_t at) {
    Nibbles changed = image;
    changed[at] ^= 0x5;
    return changed;
}

// The pass lines the tester must print for an image, computed with the reference CRC.
std::string pass_lines(const Nibbles& image) {
    std::string lines;
    for (const PassLine& line : CRC_PASS_LINES) {
        if (pass_runs_for(line, image.size())) {
            char text[64];
            std::snprintf(text, sizeof text, line.format, nibble_crc(image.data(), line.pass));
            lines += text;
        }
    }
    return lines;
}

// A packed file of zeros with the given bytes placed at the given offsets.
Bytes zeros_with(std::size_t size, const std::vector<std::pair<std::size_t, Bytes>>& placed) {
    Bytes file(size, 0);
    for (const auto& [at, bytes] : placed) {
        std::copy(bytes.begin(), bytes.end(), file.begin() + static_cast<std::ptrdiff_t>(at));
    }
    return file;
}

// Nibbles F, F, F, F, A, 1, F, 2 in packed form: the CRC of this tail after zeros is 0xFFFF.
const Bytes GOOD_TAIL = {0xFF, 0xFF, 0x1A, 0x2F};

using Case = fixtures::TesterCase;

std::vector<Case> cases() {
    const Nibbles& quendrell = good_image(QUENDRELL_LENGTH);
    const Nibbles& two_dirvo = good_image(TWO_DIRVO_LENGTH);
    const Nibbles& external = good_image(DIRVO_EXTERNAL_LENGTH);
    const Nibbles q_low = with_nibble_changed(quendrell, 0x1B);
    const Nibbles q_mid = with_nibble_changed(quendrell, 0x1C);
    const Nibbles q_top = with_nibble_changed(quendrell, 0x7FFC);
    const Nibbles x_ext = with_nibble_changed(external, 0x20000);
    const Nibbles d_first = with_nibble_changed(two_dirvo, 0x100);
    const Nibbles d_second = with_nibble_changed(two_dirvo, 0x3FFFF);
    std::vector<Case> all = {
        {"QuendrellUnpacked", quendrell, {"rom.bin"}, QUENDRELL_GOOD + "CRC ok!\n", 0},
        {"QuendrellPacked",
         fixtures::pack(quendrell),
         {"rom.bin"},
         UNPACKING + QUENDRELL_GOOD + "CRC ok!\n",
         0},
        {"DirvoUnpacked", good_image(DIRVO_LENGTH), {"rom.bin"}, FIRST_DIRVO_GOOD + "CRC ok!\n", 0},
        {"DirvoPacked",
         fixtures::pack(good_image(DIRVO_LENGTH)),
         {"rom.bin"},
         UNPACKING + FIRST_DIRVO_GOOD + "CRC ok!\n",
         0},
        {"ExternalUnpacked",
         external,
         {"rom.bin"},
         FIRST_DIRVO_GOOD + EXTERNAL_GOOD + "CRC ok!\n",
         0},
        {"ExternalPacked",
         fixtures::pack(external),
         {"rom.bin"},
         UNPACKING + FIRST_DIRVO_GOOD + EXTERNAL_GOOD + "CRC ok!\n",
         0},
        {"TwoDirvoUnpacked",
         two_dirvo,
         {"rom.bin"},
         FIRST_DIRVO_GOOD + SECOND_DIRVO_GOOD + "CRC ok!\n",
         0},
        {"TwoDirvoPacked",
         fixtures::pack(two_dirvo),
         {"rom.bin"},
         UNPACKING + FIRST_DIRVO_GOOD + SECOND_DIRVO_GOOD + "CRC ok!\n",
         0},

        // Good images of zeros with a solved tail, in packed form.
        {"ZerosQuendrell",
         zeros_with(0x4000, {{0x3FFC, GOOD_TAIL}}),
         {"rom.bin"},
         UNPACKING + QUENDRELL_GOOD + "CRC ok!\n",
         0},
        {"ZerosDirvo",
         zeros_with(0x10000, {{0xFFFC, GOOD_TAIL}}),
         {"rom.bin"},
         UNPACKING + FIRST_DIRVO_GOOD + "CRC ok!\n",
         0},
        {"ZerosExternal",
         zeros_with(0x18000, {{0xFFFC, GOOD_TAIL}, {0x17FFE, {0xFF, 0xFF}}}),
         {"rom.bin"},
         UNPACKING + FIRST_DIRVO_GOOD + EXTERNAL_GOOD + "CRC ok!\n",
         0},
        {"ZerosTwoDirvo",
         zeros_with(0x20000, {{0xFFFC, GOOD_TAIL}, {0x1FFFC, GOOD_TAIL}}),
         {"rom.bin"},
         UNPACKING + FIRST_DIRVO_GOOD + SECOND_DIRVO_GOOD + "CRC ok!\n",
         0},
        {"AllZerosQuendrell",
         Bytes(0x8000, 0),
         {"rom.bin"},
         "Quendrell CRC Pass 0 = 0000\nQuendrell CRC Pass 1 = 0000\nCRC Error!\n",
         1},

        // One changed nibble: only the passes whose range holds it go bad, all lines print.
        {"BelowPassZero", q_low, {"rom.bin"}, pass_lines(q_low) + "CRC Error!\n", 1},
        {"InsideBothPasses", q_mid, {"rom.bin"}, pass_lines(q_mid) + "CRC Error!\n", 1},
        {"AbovePassZero", q_top, {"rom.bin"}, pass_lines(q_top) + "CRC Error!\n", 1},
        {"ExternalRomOnly", x_ext, {"rom.bin"}, pass_lines(x_ext) + "CRC Error!\n", 1},
        {"FirstDirvo",
         fixtures::pack(d_first),
         {"rom.bin"},
         UNPACKING + pass_lines(d_first) + "CRC Error!\n",
         1},
        {"SecondDirvo", d_second, {"rom.bin"}, pass_lines(d_second) + "CRC Error!\n", 1},
        {"BadImageWritesNothing",
         q_mid,
         {"rom.bin", "out.bin"},
         pass_lines(q_mid) + "CRC Error!\n",
         1},

        {"UnknownPacked", Bytes(0x8000, 0x10), {"rom.bin"}, UNPACKING + "Unknown ROM size!\n", 1},
        {"UnknownUnpacked", Bytes(0x10000, 0x01), {"rom.bin"}, "Unknown ROM size!\n", 1},
        {"EmptyInput", {}, {"rom.bin"}, "Cannot open file rom.bin.\n", 1},
        {"MissingInput", {}, {"gone.bin"}, "Cannot open file gone.bin.\n", 1},
        {"NoArguments", {}, {}, "\nUsage:\n\tquendrell-romtest <ROM-File>\n\n", 1},
        {"ThreeNames", {}, {"a", "b", "c"}, "\nUsage:\n\tquendrell-romtest <ROM-File>\n\n", 1},
        {"OutputInMissingFolder",
         quendrell,
         {"rom.bin", "no/out.bin"},
         QUENDRELL_GOOD + "CRC ok!\nCannot write to file no/out.bin.\n",
         1},
        {"OutputIsTheInput",
         fixtures::pack(quendrell),
         {"rom.bin", "rom.bin"},
         UNPACKING + QUENDRELL_GOOD + "CRC ok!\nCannot write to file rom.bin.\n",
         1},
        {"OutputIsTheInputByAnotherPath",
         fixtures::pack(quendrell),
         {"rom.bin", "./rom.bin"},
         UNPACKING + QUENDRELL_GOOD + "CRC ok!\nCannot write to file ./rom.bin.\n",
         1},
    };
#ifndef _WIN32
    // Devices that only POSIX systems have.
    all.insert(all.end(), {
                              {"OutputToFullDevice",
                               quendrell,
                               {"rom.bin", "/dev/full"},
                               QUENDRELL_GOOD + "CRC ok!\nCannot write to file /dev/full.\n",
                               1},
                          });
#endif
    return all;
}

class QuendrellCase : public fixtures::TesterCaseTest {};

TEST_P(QuendrellCase, PrintsAndEnds) {
    check(QUENDRELL_ROMTEST, "quendrell-romtest", BANNER);
}

INSTANTIATE_TEST_SUITE_P(Quendrell, QuendrellCase, testing::ValuesIn(cases()), fixtures::case_name);

class Quendrell : public fixtures::EndToEnd {};

TEST_F(Quendrell, OnlyTheChangedNibblesPassesMove) {
    // Below 0x1C and from 0x7FFC on only pass 1 visits; between them both passes do.
    const Nibbles& good = good_image(QUENDRELL_LENGTH);
    EXPECT_EQ(pass_lines(with_nibble_changed(good, 0x1B)).substr(0, 28),
              "Quendrell CRC Pass 0 = FFFF\n");
    EXPECT_EQ(pass_lines(with_nibble_changed(good, 0x7FFC)).substr(0, 28),
              "Quendrell CRC Pass 0 = FFFF\n");
    EXPECT_NE(pass_lines(with_nibble_changed(good, 0x1C)).substr(0, 28),
              "Quendrell CRC Pass 0 = FFFF\n");
    const Nibbles& external = good_image(DIRVO_EXTERNAL_LENGTH);
    EXPECT_EQ(pass_lines(with_nibble_changed(external, 0x2ABCD)).substr(0, 56), FIRST_DIRVO_GOOD);
}

TEST_F(Quendrell, WritesTheUnpackedImageWhichReadsBackTheSame) {
    for (std::size_t length :
         {QUENDRELL_LENGTH, DIRVO_LENGTH, DIRVO_EXTERNAL_LENGTH, TWO_DIRVO_LENGTH}) {
        const Nibbles& image = good_image(length);
        put("rom.bin", fixtures::pack(image));
        const auto first = run(QUENDRELL_ROMTEST, "quendrell-romtest", {"rom.bin", "out.bin"});
        EXPECT_EQ(first.status, 0);
        EXPECT_EQ(get("out.bin"), image);
        const auto again = run(QUENDRELL_ROMTEST, "quendrell-romtest", {"out.bin"});
        EXPECT_EQ(again.output, BANNER + pass_lines(image) + "CRC ok!\n");
        EXPECT_EQ(again.status, 0);
    }
}

TEST_F(Quendrell, AnOutputThatNamesTheInputThroughALinkLeavesItUnchanged) {
    const Bytes packed = fixtures::pack(good_image(QUENDRELL_LENGTH));
    put("rom.bin", packed);
    std::filesystem::create_hard_link(path("rom.bin"), path("hard.bin"));
    std::vector<std::string> names = {"hard.bin"};
#ifndef _WIN32
    std::filesystem::create_symlink("rom.bin", path("link.bin"));
    names.push_back("link.bin");
#endif
    for (const std::string& name : names) {
        const auto result = run(QUENDRELL_ROMTEST, "quendrell-romtest", {"rom.bin", name});
        EXPECT_EQ(result.output, BANNER + UNPACKING + QUENDRELL_GOOD + "CRC ok!\n" +
                                     "Cannot write to file " + name + ".\n");
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(get("rom.bin"), packed);
    }
}

TEST_F(Quendrell, AnInputLockedByAnotherProgramCannotBeOpened) {
    put("rom.bin", good_image(QUENDRELL_LENGTH));
    for (bool exclusive : {false, true}) {
        fixtures::HeldFile held(path("rom.bin"), exclusive);
        const auto result = run(QUENDRELL_ROMTEST, "quendrell-romtest", {"rom.bin"});
        EXPECT_EQ(result.output, std::string(BANNER) + "Cannot open file rom.bin.\n");
        EXPECT_EQ(result.status, 1);
    }
}

#ifndef _WIN32
TEST_F(Quendrell, AnImageBufferThatCannotBeHadIsAFailure) {
    if (fixtures::memory_checked()) {
        GTEST_SKIP()
            << "sanitizers and memory checkers need more address space than a limit allows";
    }
    // A packed file one byte longer than two ROMs is measured but never built, so it needs all
    // that a good image needs but its buffer: under that limit the buffer cannot be had.
    put("long.bin", Bytes(0x20001, 0xFF));
    put("rom.bin", fixtures::pack(good_image(TWO_DIRVO_LENGTH)));
    const std::uint64_t limit = smallest_address_space(QUENDRELL_ROMTEST, {"long.bin"},
                                                       BANNER + UNPACKING + "Unknown ROM size!\n");
    fixtures::RunOptions options;
    options.address_space = limit;
    const auto result = run(QUENDRELL_ROMTEST, "quendrell-romtest", {"rom.bin"}, options);
    EXPECT_EQ(result.output, BANNER + UNPACKING + "Not enough memory!\n");
    EXPECT_EQ(result.status, 1);
}
#endif

}  // namespace
