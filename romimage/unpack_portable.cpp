#include <bit>
#include <cstring>

#include "unpack.hpp"

void unpack_nibbles_portable(const std::uint8_t* in, std::size_t size, std::uint8_t* out) {
    // Four bytes a step: spread them to every other byte of a 64-bit word, then move each high
    // nibble up into the byte between. Byte k of the word is the k-th in memory on a
    // little-endian processor; elsewhere the plain loop below does all.
    std::size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; i + 4 <= size; i += 4) {
            std::uint32_t four;
            std::memcpy(&four, in + i, 4);
            std::uint64_t t = four;
            t = (t | t << 16) & 0x0000FFFF0000FFFFu;
            t = (t | t << 8) & 0x00FF00FF00FF00FFu;
            t = (t & 0x000F000F000F000Fu) | (t & 0x00F000F000F000F0u) << 4;
            std::memcpy(out + 2 * i, &t, 8);
        }
    }
    for (; i < size; ++i) {
        out[2 * i] = in[i] & 0x0F;
        out[2 * i + 1] = in[i] >> 4;
    }
}
