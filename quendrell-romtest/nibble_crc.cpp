#include "nibble_crc.hpp"

#include <cstddef>

#include "nibble_crc_fast.hpp"

// Entries 1, 2, 4 and 8 are x^16, x^17, x^18 and x^19 reduced modulo P(x); the table is linear
// over GF(2), so every other entry is the XOR of those its bits select (entry 3 = 1 ^ 2, ...).
const std::uint16_t crc_nibble_table[16] = {
    0x0000, 0x6801, 0xD002, 0xB803, 0xC805, 0xA004, 0x1807, 0x7006,
    0xF80B, 0x900A, 0x2809, 0x4008, 0x300E, 0x580F, 0xE00C, 0x880D,
};

std::uint16_t crc_nibble_step(std::uint16_t crc, std::uint8_t n) {
    // The incoming nibble enters at the bottom and takes no part in the table index.
    return static_cast<std::uint16_t>(crc_nibble_table[crc >> 12] ^ ((crc << 4 | n) & 0xFFFF));
}

namespace {

std::uint16_t crc_run(std::uint16_t crc, const std::uint8_t* run) {
    for (int i = 0; i < 16; ++i) {
        crc = crc_nibble_step(crc, run[i]);
    }
    return crc;
}

}  // namespace

std::uint16_t nibble_crc_reference(const std::uint8_t* nibbles, const CrcPass& pass) {
    std::uint16_t crc = 0;
    for (std::int64_t r = 0; r < pass.repeats; ++r) {
        std::int64_t p = pass.start + 2 * static_cast<std::int64_t>(pass.stride) * r;
        std::int64_t q = p + pass.stride;
        for (std::int32_t c = 0; c < pass.count; ++c) {
            crc = crc_run(crc, nibbles + static_cast<std::ptrdiff_t>(p));
            crc = crc_run(crc, nibbles + static_cast<std::ptrdiff_t>(q));
            p += 16;
            q += 16;
        }
    }
    return crc;
}

std::uint16_t nibble_crc(const std::uint8_t* nibbles, const CrcPass& pass) {
    static const bool fast = fast_crc_available();
    return fast ? nibble_crc_fast(nibbles, pass) : nibble_crc_reference(nibbles, pass);
}
