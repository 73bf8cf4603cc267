// brontal-romtest from the outside: exact output, exit status and files.
#include <ostream>
#include <string>
#include <vector>

#include "e2e.hpp"

namespace {

using fixtures::Bytes;
using fixtures::Nibbles;

constexpr const char* BANNER = "BRONTAL ROM Test V1.01\n";
constexpr std::size_t PART = 0x10000;
const std::string UNPACKING = "Unpacking data...\n";

Nibbles good_image(std::size_t roms) {
    Nibbles image = fixtures::random_nibbles(2 * PART * roms, static_cast<std::uint32_t>(roms));
    fixtures::make_brontal_good(image);
    return image;
}

const Nibbles& one_rom() {
    static const Nibbles image = good_image(1);
    return image;
}

const Nibbles& two_roms() {
    static const Nibbles image = good_image(2);
    return image;
}

// A good image with one part made all zeros (value 00) or all ones (value FF).
Nibbles with_bad_part(const Nibbles& good, std::size_t part, std::uint8_t fill) {
    Nibbles image = good;
    std::fill_n(image.begin() + static_cast<std::ptrdiff_t>(part * PART), PART, fill);
    return image;
}

std::string part_lines(const std::vector<std::string>& verdicts) {
    const char* names[] = {"1st ROM 1st Part", "1st ROM 2nd Part", "2nd ROM 1st Part",
                           "2nd ROM 2nd Part"};
    std::string lines;
    for (std::size_t i = 0; i < verdicts.size(); ++i) {
        lines += std::string(names[i]) + " = " + verdicts[i] + "\n";
    }
    return lines;
}

const std::string OK = "01 -> Ok";

using Case = fixtures::TesterCase;

std::vector<Case> cases() {
    const std::string& unpacking = UNPACKING;
    std::vector<Case> all = {
        {"OneRomUnpacked", one_rom(), {"rom.bin"}, part_lines({OK, OK}) + "Checksums ok!\n", 0},
        {"OneRomPacked",
         fixtures::pack(one_rom()),
         {"rom.bin"},
         unpacking + part_lines({OK, OK}) + "Checksums ok!\n",
         0},
        {"TwoRomsUnpacked",
         two_roms(),
         {"rom.bin"},
         part_lines({OK, OK, OK, OK}) + "Checksums ok!\n",
         0},
        {"TwoRomsPacked",
         fixtures::pack(two_roms()),
         {"rom.bin"},
         unpacking + part_lines({OK, OK, OK, OK}) + "Checksums ok!\n",
         0},
        {"BadFirstPart",
         fixtures::pack(with_bad_part(two_roms(), 0, 0)),
         {"rom.bin"},
         unpacking + part_lines({"00 -> Fail", OK, OK, OK}) + "Checksum Error!\n",
         1},
        {"BadSecondPart",
         fixtures::pack(with_bad_part(two_roms(), 1, 0xF)),
         {"rom.bin"},
         unpacking + part_lines({OK, "FF -> Fail", OK, OK}) + "Checksum Error!\n",
         1},
        {"BadThirdPart",
         fixtures::pack(with_bad_part(two_roms(), 2, 0xF)),
         {"rom.bin"},
         unpacking + part_lines({OK, OK, "FF -> Fail", OK}) + "Checksum Error!\n",
         1},
        {"BadFourthPart",
         with_bad_part(two_roms(), 3, 0),
         {"rom.bin"},
         part_lines({OK, OK, OK, "00 -> Fail"}) + "Checksum Error!\n",
         1},
        {"BadImageWritesNothing",
         with_bad_part(one_rom(), 1, 0),
         {"rom.bin", "out.bin"},
         part_lines({OK, "00 -> Fail"}) + "Checksum Error!\n",
         1},
        {"HalfRomUnpacked", Bytes(PART, 0), {"rom.bin"}, "Unknown ROM size!\n", 1},
        {"ThreePartsPacked",
         Bytes(3 * PART / 2, 0x11),
         {"rom.bin"},
         unpacking + "Unknown ROM size!\n",
         1},
        {"EmptyInput", {}, {"rom.bin"}, "Cannot open file rom.bin.\n", 1},
        {"MissingInput", {}, {"missing.bin"}, "Cannot open file missing.bin.\n", 1},
        {"DirectoryInput", {}, {"."}, "Cannot open file ..\n", 1},
        {"NoArguments", {}, {}, "\nUsage:\n\tbrontal-romtest <ROM-File>\n\n", 1},
        {"ThreeNames", {}, {"a", "b", "c"}, "\nUsage:\n\tbrontal-romtest <ROM-File>\n\n", 1},
        {"OutputInMissingFolder",
         one_rom(),
         {"rom.bin", "no/out.bin"},
         part_lines({OK, OK}) + "Checksums ok!\nCannot write to file no/out.bin.\n",
         1},
        {"OutputIsAFolder",
         one_rom(),
         {"rom.bin", "."},
         part_lines({OK, OK}) + "Checksums ok!\nCannot write to file ..\n",
         1},
    };
#ifndef _WIN32
    // Devices that only POSIX systems have.
    all.insert(all.end(),
               {
                   {"OutputToFullDevice",
                    one_rom(),
                    {"rom.bin", "/dev/full"},
                    part_lines({OK, OK}) + "Checksums ok!\nCannot write to file /dev/full.\n",
                    1},
               });
#endif
    return all;
}

class BrontalCase : public fixtures::TesterCaseTest {};

TEST_P(BrontalCase, PrintsAndEnds) {
    check(BRONTAL_ROMTEST, "brontal-romtest", BANNER);
}

INSTANTIATE_TEST_SUITE_P(Brontal, BrontalCase, testing::ValuesIn(cases()), fixtures::case_name);

class Brontal : public fixtures::EndToEnd {};

TEST_F(Brontal, WritesTheUnpackedImageWhichReadsBackTheSame) {
    put("rom.bin", fixtures::pack(two_roms()));
    put("out.bin", Bytes(0x50000, 0xAA));  // longer than the image: cut to its length
    const auto first = run(BRONTAL_ROMTEST, "brontal-romtest", {"rom.bin", "out.bin"});
    EXPECT_EQ(first.status, 0);
    EXPECT_EQ(get("out.bin"), two_roms());
    const auto again = run(BRONTAL_ROMTEST, "brontal-romtest", {"out.bin"});
    EXPECT_EQ(again.output, BANNER + part_lines({OK, OK, OK, OK}) + "Checksums ok!\n");
    EXPECT_EQ(again.status, 0);
}

TEST_F(Brontal, AnOutputThatNamesTheInputReplacesIt) {
    put("rom.bin", fixtures::pack(one_rom()));
    const auto result = run(BRONTAL_ROMTEST, "brontal-romtest", {"rom.bin", "./rom.bin"});
    EXPECT_EQ(result.output, std::string(BANNER) + "Unpacking data...\n" + part_lines({OK, OK}) +
                                 "Checksums ok!\n");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(get("rom.bin"), one_rom());
}

TEST_F(Brontal, AnInputLockedForWritingCannotBeOpened) {
    put("rom.bin", one_rom());
    {
        fixtures::HeldFile exclusive(path("rom.bin"), true);
        const auto held = run(BRONTAL_ROMTEST, "brontal-romtest", {"rom.bin"});
        EXPECT_EQ(held.output, std::string(BANNER) + "Cannot open file rom.bin.\n");
        EXPECT_EQ(held.status, 1);
    }
    // Other readers do not stand in the way.
    fixtures::HeldFile shared(path("rom.bin"), false);
    EXPECT_EQ(run(BRONTAL_ROMTEST, "brontal-romtest", {"rom.bin"}).status, 0);
}

#ifndef _WIN32
TEST_F(Brontal, AnImageBufferThatCannotBeHadIsAFailure) {
    if (fixtures::memory_checked()) {
        GTEST_SKIP()
            << "sanitizers and memory checkers need more address space than a limit allows";
    }
    // A packed file one byte longer than two ROMs is measured but never built, so it needs all
    // that a good image needs but its buffer: under that limit the buffer cannot be had.
    put("long.bin", Bytes(0x20001, 0xFF));
    put("rom.bin", fixtures::pack(two_roms()));
    const std::uint64_t limit = smallest_address_space(BRONTAL_ROMTEST, {"long.bin"},
                                                       BANNER + UNPACKING + "Unknown ROM size!\n");
    fixtures::RunOptions options;
    options.address_space = limit;
    const auto result = run(BRONTAL_ROMTEST, "brontal-romtest", {"rom.bin"}, options);
    EXPECT_EQ(result.output, BANNER + UNPACKING + "Not enough memory!\n");
    EXPECT_EQ(result.status, 1);
}
#endif

}  // namespace
