#include "part_checksum.hpp"

#include <bit>
#include <cstring>

std::uint16_t add_nibble_word(std::uint16_t accumulator, const std::uint8_t* word) {
    // The first nibble of a word is its least significant.
    const auto value =
        static_cast<std::uint16_t>(word[0] | word[1] << 4 | word[2] << 8 | word[3] << 12);
    auto sum = static_cast<std::uint16_t>(accumulator + value);
    // Ones'-complement addition: a carry out of bit 15 comes back in at bit 0. The sum is
    // smaller than the accumulator exactly when the addition carried, and then sum + 1 fits.
    if (sum < accumulator) {
        ++sum;
    }
    return sum;
}

std::uint8_t part_checksum(const std::uint8_t* nibbles, std::uint32_t offset) {
    // Ones'-complement addition is commutative and associative, so the folded value depends on
    // the plain sum S of the part's words alone: 0 when S is 0, else 1 + (S - 1) mod 255. That
    // is what the accumulator of add_nibble_word, taken over the part's block traversal, folds
    // to. S = sum of first nibbles + 16 * second + 256 * third + 4096 * fourth, so it is enough
    // to add up the nibbles of each position in the word, eight bytes at a time: the even bytes
    // of a 64-bit load and the odd ones each land in their own 16-bit lane.
    const std::uint8_t* part = nibbles + offset;
    std::uint64_t position_sums[4] = {};
    // A lane gains at most 15 a load: 2048 loads stay below 2^16.
    constexpr std::uint32_t LOADS_PER_ROUND = 2048;
    for (std::uint32_t round = 0; round < PART_NIBBLES; round += 8 * LOADS_PER_ROUND) {
        std::uint64_t even = 0;  // lanes: position 0 and position 2 of two words
        std::uint64_t odd = 0;   // lanes: position 1 and position 3
        for (std::uint32_t at = round; at < round + 8 * LOADS_PER_ROUND; at += 8) {
            // Byte b of the word must be nibble b: a plain load where memory is little-endian.
            std::uint64_t eight = 0;
            if constexpr (std::endian::native == std::endian::little) {
                std::memcpy(&eight, part + at, 8);
            } else {
                for (int b = 0; b < 8; ++b) {
                    eight |= static_cast<std::uint64_t>(part[at + b]) << (8 * b);
                }
            }
            even += eight & 0x00FF00FF00FF00FFu;
            odd += eight >> 8 & 0x00FF00FF00FF00FFu;
        }
        // Lanes 0 and 2 are the first and third nibbles of the two words, lanes 1 and 3 ...
        for (int lane = 0; lane < 4; ++lane) {
            position_sums[lane % 2 * 2] += even >> (16 * lane) & 0xFFFF;
            position_sums[lane % 2 * 2 + 1] += odd >> (16 * lane) & 0xFFFF;
        }
    }
    const std::uint64_t sum =
        position_sums[0] + 16 * position_sums[1] + 256 * position_sums[2] + 4096 * position_sums[3];
    return static_cast<std::uint8_t>(sum == 0 ? 0 : 1 + (sum - 1) % 255);
}
