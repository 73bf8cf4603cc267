// Unpacking packed image bytes to one nibble a byte, the lower address from the low half. The
// build compiles one `unpack_nibbles` for the processor it targets.
#pragma once

#include <cstddef>
#include <cstdint>

// Writes 2 * size nibbles to `out`, which must not overlap `in`.
void unpack_nibbles(const std::uint8_t* in, std::size_t size, std::uint8_t* out);

// The same for any processor; the accelerated versions are held to it.
void unpack_nibbles_portable(const std::uint8_t* in, std::size_t size, std::uint8_t* out);
