#include "nibble_crc.hpp"

#include <vector>

#include <gtest/gtest.h>

#include "crc_passes.hpp"
#include "fixtures.hpp"
#include "nibble_crc_fast.hpp"

namespace {

using fixtures::Nibbles;

constexpr CrcPass IN_ORDER_32 = {0, 16, 1, 1};

// Every implementation of the CRC runs the same test bodies.
struct Implementation {
    const char* name;
    std::uint16_t (*crc)(const std::uint8_t*, const CrcPass&);
};

std::vector<Implementation> implementations() {
    std::vector<Implementation> all = {{"Reference", nibble_crc_reference},
                                       {"Dispatched", nibble_crc}};
    if (fast_crc_available()) {
        all.push_back({"Fast", nibble_crc_fast});
    }
    return all;
}

class NibbleCrc : public testing::TestWithParam<Implementation> {
  protected:
    std::uint16_t crc(const std::uint8_t* nibbles, const CrcPass& pass) {
        return GetParam().crc(nibbles, pass);
    }
};

TEST(CrcNibbleTable, IsTheRemainderOfEachNibbleTimesXToThe16) {
    for (std::uint16_t k = 0; k < 16; ++k) {
        // k in bits 12..15, then four single-bit steps of the register modulo P(x).
        std::uint16_t reg = static_cast<std::uint16_t>(k << 12);
        for (int bit = 0; bit < 4; ++bit) {
            const bool out = reg & 0x8000;
            reg = static_cast<std::uint16_t>(reg << 1);
            if (out) {
                reg ^= CRC_POLYNOMIAL;
            }
        }
        EXPECT_EQ(crc_nibble_table[k], reg) << k;
    }
}

TEST_P(NibbleCrc, WorkedExamples) {
    struct Case {
        std::vector<std::uint8_t> tail;  // the image's last nibbles, zeros before them
        std::uint16_t crc;
    };
    const Case cases[] = {
        {{1}, 0x0001},
        {{1, 0, 0, 0, 0}, 0x6801},
        {{0xF, 0xF, 0xF, 0xF}, 0xFFFF},
        {{0xF, 0xF, 0xF, 0xF, 0xA, 0x1, 0xF, 0x2}, 0xFFFF},
    };
    for (const Case& c : cases) {
        Nibbles image(32 - c.tail.size(), 0);
        image.insert(image.end(), c.tail.begin(), c.tail.end());
        EXPECT_EQ(crc(image.data(), IN_ORDER_32), c.crc);
    }
    Nibbles counting(32);
    for (std::size_t i = 0; i < 32; ++i) {
        counting[i] = static_cast<std::uint8_t>(i & 0xF);
    }
    EXPECT_EQ(crc(counting.data(), IN_ORDER_32), 0x08AC);
    EXPECT_EQ(crc(Nibbles(32, 0xF).data(), IN_ORDER_32), 0xF443);
}

TEST_P(NibbleCrc, InterleavesRunsAndNeverResetsTheRegister) {
    Nibbles image(64);
    for (std::size_t i = 0; i < 64; ++i) {
        image[i] = static_cast<std::uint8_t>(i >> 4);
    }
    EXPECT_EQ(crc(image.data(), {0, 32, 2, 1}), 0x8202);
    EXPECT_EQ(crc(image.data(), {0, 16, 1, 2}), 0xDCE1);
    // The second block alone gives another value: the register runs on across blocks.
    EXPECT_NE(crc(image.data(), {32, 16, 1, 1}), 0xDCE1);
}

TEST_P(NibbleCrc, NoRepeatsOrNoRunsReadNothing) {
    // A null image shows that no nibble is read.
    for (const CrcPass& pass : {CrcPass{0, 16, 1, 0}, CrcPass{5, 16, 1, -3}, CrcPass{0, 16, 0, 4},
                                CrcPass{0, 16, -1, 4}}) {
        EXPECT_EQ(crc(nullptr, pass), 0);
    }
}

TEST_P(NibbleCrc, SolvedImagesOfEveryKnownLengthAreGood) {
    for (std::size_t length :
         {QUENDRELL_LENGTH, DIRVO_LENGTH, DIRVO_EXTERNAL_LENGTH, TWO_DIRVO_LENGTH}) {
        Nibbles image = fixtures::random_nibbles(length, static_cast<std::uint32_t>(length));
        fixtures::make_quendrell_good(image);
        int passes = 0;
        for (const PassLine& line : CRC_PASS_LINES) {
            if (pass_runs_for(line, length)) {
                EXPECT_EQ(crc(image.data(), line.pass), 0xFFFF) << line.format;
                ++passes;
            }
        }
        EXPECT_GE(passes, 2);
    }
}

TEST_P(NibbleCrc, EveryPassVisitsEachNibbleOfItsRangeOnce) {
    // One changed nibble changes a pass exactly when it lies in the pass's range.
    Nibbles image = fixtures::random_nibbles(QUENDRELL_LENGTH, 3);
    const CrcPass pass0 = CRC_PASS_LINES[0].pass;
    const std::uint16_t before = crc(image.data(), pass0);
    for (std::size_t at : {0x00u, 0x1Bu, 0x1Cu, 0x1600u, 0x7FFBu, 0x7FFCu, 0x7FFFu}) {
        Nibbles changed = image;
        changed[at] ^= 0x8;
        const bool inside = at >= 0x1C && at <= 0x7FFB;
        EXPECT_EQ(crc(changed.data(), pass0) != before, inside) << at;
    }
}

TEST_P(NibbleCrc, AgreesWithTheReferenceOnRandomImages) {
    // Every pass of every length, and passes whose runs leave gaps or overlap.
    for (std::uint32_t seed = 1; seed <= 8; ++seed) {
        const Nibbles image = fixtures::random_nibbles(TWO_DIRVO_LENGTH, seed);
        for (const PassLine& line : CRC_PASS_LINES) {
            EXPECT_EQ(crc(image.data(), line.pass), nibble_crc_reference(image.data(), line.pass))
                << line.format << seed;
        }
        for (const CrcPass& pass : {CrcPass{3, 48, 2, 7}, CrcPass{1, 16, 3, 5}}) {
            EXPECT_EQ(crc(image.data(), pass), nibble_crc_reference(image.data(), pass));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Implementations, NibbleCrc, testing::ValuesIn(implementations()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
