// The whole chain: a good image sent as captures, joined by blokjoin, checked by its tester,
// and written out unpacked to the very nibbles it started from.
#include <cstdio>
#include <string>

#include "e2e.hpp"

namespace {

using fixtures::Bytes;
using fixtures::Nibbles;

class Chain : public fixtures::EndToEnd {
  protected:
    // Sends the packed image as two captures: `split` bytes bare, the rest wrapped in the
    // object header with bytes after the string that the string's length leaves out.
    void send(const Nibbles& image, std::size_t split) {
        const Bytes packed = fixtures::pack(image);
        put("part1.cap", fixtures::capture_of(Bytes(packed.begin(), packed.begin() + split)));
        Bytes second =
            fixtures::wrapped(fixtures::capture_of(Bytes(packed.begin() + split, packed.end())));
        second.insert(second.end(), {0x04, 0x9C, 0x41});
        put("part2.cap", second);
        const auto joined = run(BLOKJOIN, "blokjoin", {"part1.cap", "part2.cap", "rom.bin"});
        EXPECT_EQ(joined.status, 0);
        char size_line[40];
        std::snprintf(size_line, sizeof size_line, "ROM size = %05Xh = %uKB\n",
                      static_cast<unsigned>(packed.size()),
                      static_cast<unsigned>(packed.size() >> 10));
        EXPECT_TRUE(joined.output.ends_with(size_line)) << joined.output.substr(0, 200);
        EXPECT_EQ(get("rom.bin"), packed);
    }
};

TEST_F(Chain, DirvoCapturesCheckOut) {
    Nibbles image = fixtures::random_nibbles(0x20000, 2024);
    fixtures::make_quendrell_good(image);
    send(image, 300 * 128);
    const auto checked = run(QUENDRELL_ROMTEST, "quendrell-romtest", {"rom.bin", "dirvo.bin"});
    EXPECT_EQ(checked.output,
              "QUENDRELL/DIRVO ROM Test V1.00\nUnpacking data...\n"
              "1st Dirvo CRC Pass 0 = FFFF\n1st Dirvo CRC Pass 1 = FFFF\nCRC ok!\n");
    EXPECT_EQ(checked.status, 0);
    EXPECT_EQ(get("dirvo.bin"), image);
}

TEST_F(Chain, TwoRomBrontalCapturesCheckOut) {
    // 1024 blocks: the first capture's block numbers wrap past 255.
    Nibbles image = fixtures::random_nibbles(0x40000, 2025);
    fixtures::make_brontal_good(image);
    send(image, 700 * 128);
    const auto checked = run(BRONTAL_ROMTEST, "brontal-romtest", {"rom.bin", "brontal.bin"});
    EXPECT_EQ(checked.output,
              "BRONTAL ROM Test V1.01\nUnpacking data...\n"
              "1st ROM 1st Part = 01 -> Ok\n1st ROM 2nd Part = 01 -> Ok\n"
              "2nd ROM 1st Part = 01 -> Ok\n2nd ROM 2nd Part = 01 -> Ok\nChecksums ok!\n");
    EXPECT_EQ(checked.status, 0);
    EXPECT_EQ(get("brontal.bin"), image);
}

}  // namespace
