#include "part_checksum.hpp"

#include <algorithm>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "fixtures.hpp"

namespace {

using fixtures::Nibbles;

// The four nibbles of a word, least significant first.
std::vector<std::uint8_t> word_nibbles(std::uint16_t word) {
    return {static_cast<std::uint8_t>(word & 0xF), static_cast<std::uint8_t>(word >> 4 & 0xF),
            static_cast<std::uint8_t>(word >> 8 & 0xF), static_cast<std::uint8_t>(word >> 12)};
}

void put_word(Nibbles& part, std::size_t at, std::uint16_t word) {
    const auto n = word_nibbles(word);
    std::copy(n.begin(), n.end(), part.begin() + static_cast<std::ptrdiff_t>(at));
}

TEST(AddNibbleWord, CarriesEndAround) {
    struct Case {
        std::uint16_t accumulator;
        std::uint16_t word;
        std::uint16_t sum;
    };
    for (const Case& c : {Case{0xFFFF, 0x0001, 0x0001}, Case{0xFFFF, 0xFFFF, 0xFFFF},
                          Case{0x0000, 0xFFFF, 0xFFFF}, Case{0x1234, 0x0000, 0x1234},
                          Case{0x8000, 0x8000, 0x0001}, Case{0x1234, 0x4321, 0x5555}}) {
        EXPECT_EQ(add_nibble_word(c.accumulator, word_nibbles(c.word).data()), c.sum)
            << std::hex << c.accumulator << " + " << c.word;
    }
}

TEST(PartChecksum, WorkedExamples) {
    struct Case {
        std::vector<std::pair<std::size_t, std::uint16_t>> words;  // address, word
        std::uint8_t value;
    };
    const Case cases[] = {
        {{}, 0x00},
        {{{0, 0x0001}}, 0x01},
        {{{0, 0x0010}}, 0x10},
        {{{0, 0x0100}}, 0x01},
        {{{0, 0x1000}}, 0x10},
        {{{0, 0xFFFF}, {4, 0x0001}}, 0x01},
        {{{0, 0x0001}, {4, 0xFFFF}}, 0x01},
        {{{0, 0x80FF}}, 0x80},
    };
    for (const Case& c : cases) {
        Nibbles part(PART_NIBBLES, 0);
        for (const auto& [at, word] : c.words) {
            put_word(part, at, word);
        }
        EXPECT_EQ(part_checksum(part.data(), 0), c.value);
    }
    EXPECT_EQ(part_checksum(Nibbles(PART_NIBBLES, 0xF).data(), 0), 0xFF);
}

// The part value by its definition: the words added with add_nibble_word in the traversal
// order, upper-half word then lower-half word of each 128-nibble block, then folded to 8 bits.
std::uint8_t part_value_by_traversal(const std::uint8_t* nibbles, std::uint32_t offset) {
    std::uint16_t accumulator = 0;
    for (std::uint32_t block = offset; block < offset + PART_NIBBLES; block += 128) {
        for (std::uint32_t k = 0; k < 64; k += 4) {
            accumulator = add_nibble_word(accumulator, nibbles + block + 64 + k);
            accumulator = add_nibble_word(accumulator, nibbles + block + k);
        }
    }
    const unsigned folded = (accumulator & 0xFFu) + (accumulator >> 8);
    return static_cast<std::uint8_t>((folded & 0xFFu) + (folded >> 8));
}

TEST(PartChecksum, AgreesWithTheTraversalOnRandomAndExtremeParts) {
    std::vector<Nibbles> parts = {Nibbles(PART_NIBBLES, 0), Nibbles(PART_NIBBLES, 0xF)};
    for (std::uint32_t seed = 1; seed <= 10; ++seed) {
        parts.push_back(fixtures::random_nibbles(PART_NIBBLES, seed));
    }
    for (const Nibbles& part : parts) {
        EXPECT_EQ(part_checksum(part.data(), 0), part_value_by_traversal(part.data(), 0));
    }
}

TEST(PartChecksum, MatchesTheClosedFormOnRandomParts) {
    // With S the plain sum of the part's words: 0 when S is 0, else 1 + (S - 1) mod 255.
    for (std::uint32_t seed = 1; seed <= 20; ++seed) {
        const Nibbles part = fixtures::random_nibbles(PART_NIBBLES, seed);
        std::uint64_t sum = 0;
        for (std::size_t w = 0; w < PART_NIBBLES; w += 4) {
            sum += part[w] | part[w + 1] << 4 | part[w + 2] << 8 | part[w + 3] << 12;
        }
        EXPECT_EQ(part_checksum(part.data(), 0), sum == 0 ? 0 : 1 + (sum - 1) % 255) << seed;
    }
}

TEST(PartChecksum, IgnoresWordOrderAndNibblesOutsideThePart) {
    Nibbles image = fixtures::random_nibbles(3 * PART_NIBBLES, 7);
    const std::uint8_t value = part_checksum(image.data(), PART_NIBBLES);

    // Exchanging two words, or two halves of a block, keeps the value.
    Nibbles swapped = image;
    std::swap_ranges(swapped.begin() + PART_NIBBLES + 8, swapped.begin() + PART_NIBBLES + 12,
                     swapped.begin() + 2 * PART_NIBBLES - 4);
    std::swap_ranges(swapped.begin() + PART_NIBBLES + 128, swapped.begin() + PART_NIBBLES + 192,
                     swapped.begin() + PART_NIBBLES + 192);
    EXPECT_EQ(part_checksum(swapped.data(), PART_NIBBLES), value);

    Nibbles outside = image;
    outside[PART_NIBBLES - 1] ^= 0xF;
    outside[2 * PART_NIBBLES] ^= 0xF;
    EXPECT_EQ(part_checksum(outside.data(), PART_NIBBLES), value);
}

TEST(PartChecksum, FixtureMakesEveryPartGood) {
    Nibbles image = fixtures::random_nibbles(4 * PART_NIBBLES, 11);
    fixtures::make_brontal_good(image);
    for (std::uint32_t part = 0; part < 4; ++part) {
        EXPECT_EQ(part_checksum(image.data(), part * PART_NIBBLES), 1) << part;
    }
}

}  // namespace
