// The 16-bit nibble CRC of Quendrell and Dirvo ROMs, generator x^16 + x^14 + x^13 + x^11 + 1.
#pragma once

#include <cstdint>

// The generator's 16 low coefficients, bit i standing for x^i.
inline constexpr std::uint16_t CRC_POLYNOMIAL = 0x6801;

// Entry k is k(x) * x^16 mod P(x): what the top nibble k of the register becomes when it is
// shifted out of the top and folded back in.
extern const std::uint16_t crc_nibble_table[16];

// One traversal of the image: `repeats` blocks, 2 * `stride` apart, each walked as `count`
// pairs of 16-nibble runs, one from the block's start and one from `stride` further on.
struct CrcPass {
    std::int32_t start;
    std::int32_t stride;
    std::int32_t count;
    std::int32_t repeats;
};

// Shifts nibble n into the low end of the register.
std::uint16_t crc_nibble_step(std::uint16_t crc, std::uint8_t n);

// The register after every nibble of the pass, starting from 0. Every address the pass visits
// must lie inside the image; `repeats` or `count` of 0 or less visit nothing and give 0.
// Runs the fastest implementation the processor has; all give the same result.
std::uint16_t nibble_crc(const std::uint8_t* nibbles, const CrcPass& pass);

// The same CRC, one crc_nibble_step per nibble: the definition the others are held to.
std::uint16_t nibble_crc_reference(const std::uint8_t* nibbles, const CrcPass& pass);
