#include "part_checksum.hpp"

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
    std::uint16_t accumulator = 0;
    // 512 blocks of 128 nibbles; in each, word k of the upper half, then word k of the lower.
    for (std::uint32_t block = offset; block < offset + PART_NIBBLES; block += 128) {
        for (std::uint32_t k = 0; k < 64; k += 4) {
            accumulator = add_nibble_word(accumulator, nibbles + block + 64 + k);
            accumulator = add_nibble_word(accumulator, nibbles + block + k);
        }
    }
    // Fold to 8 bits with the same end-around carry: 0..510 first, then 0..255.
    const unsigned folded = (accumulator & 0xFFu) + (accumulator >> 8);
    return static_cast<std::uint8_t>((folded & 0xFFu) + (folded >> 8));
}
