// No accelerated CRC for this processor: the one-nibble steps serve.
#include "nibble_crc_fast.hpp"

bool fast_crc_available() {
    return false;
}

std::uint16_t nibble_crc_fast(const std::uint8_t* nibbles, const CrcPass& pass) {
    return nibble_crc_reference(nibbles, pass);
}
