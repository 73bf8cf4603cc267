// No accelerated unpacking for this processor.
#include "unpack.hpp"

void unpack_nibbles(const std::uint8_t* in, std::size_t size, std::uint8_t* out) {
    unpack_nibbles_portable(in, size, out);
}
