// Unpacking with SSE2, which every x86-64 processor has: sixteen bytes a step, their low and
// high nibbles interleaved byte by byte into thirty-two.
#include <emmintrin.h>

#include "unpack.hpp"

void unpack_nibbles(const std::uint8_t* in, std::size_t size, std::uint8_t* out) {
    const __m128i low_nibbles = _mm_set1_epi8(0x0F);
    std::size_t i = 0;
    for (; i + 16 <= size; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        const __m128i low = _mm_and_si128(bytes, low_nibbles);
        const __m128i high = _mm_and_si128(_mm_srli_epi16(bytes, 4), low_nibbles);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i), _mm_unpacklo_epi8(low, high));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i + 16),
                         _mm_unpackhi_epi8(low, high));
    }
    unpack_nibbles_portable(in + i, size - i, out + 2 * i);
}
