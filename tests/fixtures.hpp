// Test fixtures shared by unit, end-to-end and sample code: nibble images made good by solving
// their sums or CRCs, packing, XMODEM captures and their object header, and file helpers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "capture_reader.hpp"
#include "nibble_crc.hpp"

namespace fixtures {

using Bytes = std::vector<std::uint8_t>;
using Nibbles = std::vector<std::uint8_t>;  // one nibble (0..15) per element

// Nibbles drawn from a fixed seed, so every run sees the same image.
Nibbles random_nibbles(std::size_t length, std::uint32_t seed);

// Two nibbles a byte, the lower address in the low half; `length` must be even.
Bytes pack(const Nibbles& nibbles);

// Makes every part of a Brontal image good by adjusting the first word of each part.
void make_brontal_good(Nibbles& nibbles);

// Sets the four nibbles that `pass` visits last so that its CRC comes out as 0xFFFF.
void solve_crc_pass(Nibbles& nibbles, const CrcPass& pass);

// Makes every CRC of a Quendrell or Dirvo image of a known length 0xFFFF. Pass 0 of a ROM is
// solved first; its pass 1 then through the ROM's last four nibbles, which pass 0 never visits.
void make_quendrell_good(Nibbles& nibbles);

// One 132-byte XMODEM block: SOH, number, inverted number, 128 data bytes, checksum.
Bytes capture_block(std::uint8_t number, const std::uint8_t* data);

// A bare capture of `data` (a multiple of 128 bytes), blocks numbered from `first` on.
Bytes capture_of(const Bytes& data, std::uint8_t first = 1);

// A calculator object that wraps `string`: the "HPHP48-" magic, byte 7, the prolog and the
// length field in five nibbles each, then the string. `length` defaults to 5 + 2 * characters.
Bytes wrapped(const Bytes& string, std::uint32_t prolog = STRING_PROLOG, std::int64_t length = -1);

Bytes read_file(const std::string& path);
void write_file(const std::string& path, const Bytes& bytes);

}  // namespace fixtures
