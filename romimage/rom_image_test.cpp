#include "rom_image.hpp"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fixtures.hpp"
#include "run_program.hpp"
#include "unpack.hpp"

namespace {

using fixtures::Bytes;

struct LoadCase {
    const char* what;
    Bytes file;
    Bytes nibbles;
    bool packed;
    friend void PrintTo(const LoadCase& c, std::ostream* os) { *os << c.what; }
};

class LoadTest : public testing::TestWithParam<LoadCase> {};

TEST_P(LoadTest, BuildsTheImageAndTellsTheForm) {
    const LoadCase& c = GetParam();
    NibbleImage image;
    testing::internal::CaptureStdout();
    ASSERT_EQ(load_nibble_image(&image, c.file.data(), static_cast<std::uint32_t>(c.file.size())),
              0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.packed ? "Unpacking data...\n" : "");
    EXPECT_EQ(Bytes(image.nibbles, image.nibbles + image.length), c.nibbles);
    free_nibble_image(&image);
    EXPECT_EQ(image.nibbles, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, LoadTest,
    testing::Values(
        LoadCase{"packed pairs, low nibble first", {0x21, 0x43}, {1, 2, 3, 4}, true},
        LoadCase{"unpacked", {0x01, 0x02, 0x03, 0x04}, {1, 2, 3, 4}, false},
        LoadCase{"A5 gives 5 then A", {0xA5}, {0x5, 0xA}, true},
        LoadCase{"only the last byte is high",
                 {0x01, 0x0F, 0x00, 0x10},
                 {1, 0, 0xF, 0, 0, 0, 0, 1},
                 true},
        LoadCase{"packed with every odd nibble 0 reads unpacked", {0x0F, 0x03}, {0xF, 3}, false},
        LoadCase{"one stray high byte packs the whole file", {0x01, 0xF0}, {1, 0, 0, 0xF}, true}),
    [](const testing::TestParamInfo<LoadCase>& info) { return std::to_string(info.index); });

TEST(LoadNibbleImage, AFileTooLongForAnyRomIsMeasuredNotBuilt) {
    const Bytes file(MAX_IMAGE_NIBBLES / 2 + 1, 0xFF);
    NibbleImage image;
    testing::internal::CaptureStdout();
    EXPECT_EQ(load_nibble_image(&image, file.data(), static_cast<std::uint32_t>(file.size())),
              LOAD_DONE);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unpacking data...\n");
    EXPECT_EQ(image.length, MAX_IMAGE_NIBBLES + 2);
    EXPECT_EQ(image.nibbles, nullptr);
    free_nibble_image(&image);
}

TEST(UnpackNibbles, EveryImplementationGivesLowThenHighNibbles) {
    // Lengths around the sixteen-byte steps, so that the tails are covered too.
    for (std::size_t size : {0u, 1u, 3u, 4u, 15u, 16u, 17u, 33u, 1000u}) {
        Bytes packed(size);
        for (std::size_t i = 0; i < size; ++i) {
            packed[i] = static_cast<std::uint8_t>(i * 37 + 11);
        }
        Bytes expected;
        for (std::uint8_t byte : packed) {
            expected.push_back(byte & 0x0F);
            expected.push_back(byte >> 4);
        }
        for (auto unpack : {unpack_nibbles, unpack_nibbles_portable}) {
            Bytes nibbles(2 * size + 1, 0xEE);
            unpack(packed.data(), size, nibbles.data());
            EXPECT_EQ(Bytes(nibbles.begin(), nibbles.end() - 1), expected) << size;
            EXPECT_EQ(nibbles.back(), 0xEE) << size;
        }
    }
}

class RomFileTest : public testing::Test {
  protected:
    fixtures::TempFolder folder;
    std::string image_path = folder / "image.bin";
    void SetUp() override { fixtures::write_file(image_path, {0x21, 0x43, 0x65}); }
};

TEST_F(RomFileTest, OpensMapsAndReleases) {
    RomFile rom;
    ASSERT_EQ(open_rom_file(image_path.c_str(), ROM_SHARE_READ, &rom), 0);
    EXPECT_NE(rom.file, ROM_NO_HANDLE);
    EXPECT_NE(rom.mapping, ROM_NO_HANDLE);
    ASSERT_NE(rom.view, nullptr);
    EXPECT_EQ(rom.size, 3u);
    EXPECT_EQ(Bytes(rom.view, rom.view + rom.size), Bytes({0x21, 0x43, 0x65}));
    close_rom_file(&rom);
    EXPECT_EQ(rom.file, ROM_NO_HANDLE);
    EXPECT_EQ(rom.view, nullptr);
}

TEST_F(RomFileTest, FailedOpensHoldOnlyWhatWasAcquired) {
    RomFile missing;
    EXPECT_EQ(open_rom_file((folder / "missing.bin").c_str(), ROM_SHARE_READ, &missing), 1);
    EXPECT_EQ(missing.file, ROM_NO_HANDLE);
    close_rom_file(&missing);

    // An empty file opens but cannot be mapped: the file alone is held until released.
    fixtures::write_file(folder / "empty.bin", {});
    RomFile empty;
    EXPECT_EQ(open_rom_file((folder / "empty.bin").c_str(), ROM_SHARE_READ, &empty), 1);
    EXPECT_NE(empty.file, ROM_NO_HANDLE);
    EXPECT_EQ(empty.mapping, ROM_NO_HANDLE);
    close_rom_file(&empty);
    EXPECT_EQ(empty.file, ROM_NO_HANDLE);
}

TEST_F(RomFileTest, RefusesWhatIsNotARegularFile) {
#ifdef _WIN32
    const std::vector<std::string> names = {folder.path, "NUL"};
#else
    ASSERT_EQ(mkfifo((folder / "fifo").c_str(), 0600), 0);
    const std::vector<std::string> names = {folder.path, folder / "fifo", "/dev/null"};
#endif
    for (const std::string& name : names) {
        RomFile rom;
        EXPECT_EQ(open_rom_file(name.c_str(), ROM_SHARE_READ, &rom), 1) << name;
        close_rom_file(&rom);
    }
}

TEST_F(RomFileTest, RefusesAFileOfFourGibibytesOrMore) {
    const std::string huge = folder / "huge.bin";
    fixtures::write_file(huge, {0x21});
    std::filesystem::resize_file(huge, 0x100000000ull);
    RomFile rom;
    EXPECT_EQ(open_rom_file(huge.c_str(), ROM_SHARE_READ, &rom), 1);
    close_rom_file(&rom);
}

TEST_F(RomFileTest, ShareModesDecideWhoElseMayOpen) {
    struct Case {
        RomShareMode held;
        RomShareMode second;
        int result;
    };
    for (const Case& c :
         {Case{ROM_SHARE_READ, ROM_SHARE_READ, 0}, Case{ROM_SHARE_READ, ROM_SHARE_NONE, 1},
          Case{ROM_SHARE_NONE, ROM_SHARE_READ, 1}, Case{ROM_SHARE_NONE, ROM_SHARE_NONE, 1}}) {
        RomFile first;
        RomFile second;
        ASSERT_EQ(open_rom_file(image_path.c_str(), c.held, &first), 0);
        EXPECT_EQ(open_rom_file(image_path.c_str(), c.second, &second), c.result)
            << c.held << " then " << c.second;
        close_rom_file(&second);
        close_rom_file(&first);
    }
}

TEST_F(RomFileTest, WritesUnpackedAndReloadsToTheSameImage) {
    NibbleImage image;
    testing::internal::CaptureStdout();
    const RomFile rom = [&] {
        RomFile opened;
        EXPECT_EQ(open_rom_file(image_path.c_str(), ROM_SHARE_READ, &opened), 0);
        return opened;
    }();
    ASSERT_EQ(load_nibble_image(&image, rom.view, rom.size), 0);
    RomFile held = rom;
    close_rom_file(&held);

    // An existing longer file is cut to the image's length.
    const std::string output = folder / "out.bin";
    fixtures::write_file(output, Bytes(100, 0xEE));
    ASSERT_EQ(write_image_file(output.c_str(), &image), 0);
    EXPECT_EQ(fixtures::read_file(output), Bytes({1, 2, 3, 4, 5, 6}));

    RomFile again;
    NibbleImage reloaded;
    ASSERT_EQ(open_rom_file(output.c_str(), ROM_SHARE_READ, &again), 0);
    ASSERT_EQ(load_nibble_image(&reloaded, again.view, again.size), 0);
    close_rom_file(&again);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unpacking data...\n");
    EXPECT_EQ(Bytes(reloaded.nibbles, reloaded.nibbles + reloaded.length),
              Bytes(image.nibbles, image.nibbles + image.length));
    free_nibble_image(&reloaded);
    free_nibble_image(&image);
}

// A mapped file cannot be cut on Windows at all; on POSIX systems it can, at any moment.
#ifndef _WIN32
TEST_F(RomFileTest, AFileThatShrinksUnderItsMappingIsAReadFault) {
    fixtures::write_file(image_path, Bytes(3 * 4096, 0x21));
    RomFile rom;
    ASSERT_EQ(open_rom_file(image_path.c_str(), ROM_SHARE_READ, &rom), 0);
    ASSERT_EQ(truncate(image_path.c_str(), 0), 0);
    NibbleImage image;
    EXPECT_EQ(load_nibble_image(&image, rom.view, rom.size), LOAD_READ_FAULT);
    EXPECT_EQ(image.nibbles, nullptr);
    close_rom_file(&rom);
}
#endif

TEST_F(RomFileTest, WriteFailuresAreReported) {
    std::uint8_t nibbles[4] = {1, 2, 3, 4};
    const NibbleImage image{nibbles, 4};
    EXPECT_EQ(write_image_file((folder / "no/such/folder.bin").c_str(), &image), 1);
    EXPECT_EQ(write_image_file(folder.path.c_str(), &image), 1);
#ifndef _WIN32
    EXPECT_EQ(write_image_file("/dev/full", &image), 1);
#endif
}

TEST_F(RomFileTest, AnOutputThatNamesAHeldInputLeavesItUnchanged) {
    RomFile held;
    ASSERT_EQ(open_rom_file(image_path.c_str(), ROM_SHARE_NONE, &held), 0);
    std::uint8_t nibbles[4] = {1, 2, 3, 4};
    const NibbleImage image{nibbles, 4};
    EXPECT_EQ(write_image_file(image_path.c_str(), &image), 1);
    close_rom_file(&held);
    EXPECT_EQ(fixtures::read_file(image_path), Bytes({0x21, 0x43, 0x65}));
}

}  // namespace
