// Brontal part checksum: 8-bit folded ones'-complement sum of a part's four-nibble words.
#pragma once

#include <cstdint>

// Nibbles in one part of a Brontal ROM; a ROM is two parts.
inline constexpr std::uint32_t PART_NIBBLES = 0x10000;

// Adds the word whose first (least significant) nibble is at `word` to the 16-bit
// ones'-complement accumulator.
std::uint16_t add_nibble_word(std::uint16_t accumulator, const std::uint8_t* word);

// The 8-bit value of the part of PART_NIBBLES nibbles from `offset` on; the part is good when
// it is 1. Reads nothing outside the part.
std::uint8_t part_checksum(const std::uint8_t* nibbles, std::uint32_t offset);
