// The CRC passes of Quendrell and Dirvo images, one row per printed line, in printing order.
#pragma once

#include <cstddef>
#include <cstdint>

#include "nibble_crc.hpp"

// Image lengths in nibbles that the tester knows.
inline constexpr std::size_t QUENDRELL_LENGTH = 0x8000;        // one Quendrell ROM
inline constexpr std::size_t DIRVO_LENGTH = 0x20000;           // one Dirvo ROM
inline constexpr std::size_t DIRVO_EXTERNAL_LENGTH = 0x30000;  // and an external ROM
inline constexpr std::size_t TWO_DIRVO_LENGTH = 0x40000;       // two Dirvo ROMs

struct PassLine {
    const char* format;
    CrcPass pass;
    std::size_t lengths[3];  // the image lengths that run this pass; 0 fills the row
};

// In every row 16 * count = stride, so each pass visits its range once: pass 1 of a ROM all of
// it in ascending order, pass 0 all but its first 0x1C and last 4 nibbles, the halves of each
// of three blocks interleaved in runs of 16. The external ROM line has five blanks so that
// every value begins at the 24th character.
inline constexpr PassLine CRC_PASS_LINES[] = {
    {"Quendrell CRC Pass 0 = %04X\n", {0x1C, 0x1550, 0x155, 3}, {QUENDRELL_LENGTH}},
    {"Quendrell CRC Pass 1 = %04X\n", {0, 16, 1, 1024}, {QUENDRELL_LENGTH}},
    {"1st Dirvo CRC Pass 0 = %04X\n",
     {0x1C, 0x5550, 0x555, 3},
     {DIRVO_LENGTH, DIRVO_EXTERNAL_LENGTH, TWO_DIRVO_LENGTH}},
    {"1st Dirvo CRC Pass 1 = %04X\n",
     {0, 16, 1, 4096},
     {DIRVO_LENGTH, DIRVO_EXTERNAL_LENGTH, TWO_DIRVO_LENGTH}},
    {"External ROM CRC     = %04X\n", {0x20000, 16, 1, 2048}, {DIRVO_EXTERNAL_LENGTH}},
    {"2nd Dirvo CRC Pass 0 = %04X\n", {0x2001C, 0x5550, 0x555, 3}, {TWO_DIRVO_LENGTH}},
    {"2nd Dirvo CRC Pass 1 = %04X\n", {0x20000, 16, 1, 4096}, {TWO_DIRVO_LENGTH}},
};

inline bool pass_runs_for(const PassLine& line, std::size_t length) {
    for (std::size_t known : line.lengths) {
        if (known != 0 && known == length) {
            return true;
        }
    }
    return false;
}

inline bool known_rom_length(std::size_t length) {
    return length == QUENDRELL_LENGTH || length == DIRVO_LENGTH ||
           length == DIRVO_EXTERNAL_LENGTH || length == TWO_DIRVO_LENGTH;
}
