// The accelerated nibble CRC. The build compiles one implementation file for the processor it
// targets; where none fits, the portable one says it is not available.
#pragma once

#include <cstdint>

#include "nibble_crc.hpp"

// True when this processor can run nibble_crc_fast.
bool fast_crc_available();

// Gives exactly what nibble_crc_reference gives; call it only when fast_crc_available().
std::uint16_t nibble_crc_fast(const std::uint8_t* nibbles, const CrcPass& pass);
