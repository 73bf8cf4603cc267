// The nibble CRC with carry-less multiplication (PCLMULQDQ) and SSSE3, sixteen nibbles a step.
//
// Sixteen nibbles n0..n15, n0 first, are the 64-bit polynomial D = n0 x^60 + n1 x^56 + ... +
// n15, and stepping the register crc over them gives (crc x^64 + D) mod P. The loop keeps a
// 64-bit S that is only congruent to the register modulo P, and folds it forward a run at a
// time: S x^64 = S_hi x^96 + S_lo x^64 == S_hi (x^96 mod P) + S_lo (x^64 mod P), two products
// of a 32-bit and a 16-bit polynomial, each under 2^47. S is reduced once, after the last run.
#include <immintrin.h>

#include "nibble_crc_fast.hpp"

namespace {

// x^n mod P, by n single-bit steps from 1.
constexpr std::uint64_t x_power_mod(int n) {
    std::uint32_t r = 1;
    for (int i = 0; i < n; ++i) {
        r <<= 1;
        if ((r & 0x10000) != 0) {
            r ^= 0x10000 | CRC_POLYNOMIAL;
        }
    }
    return r;
}

constexpr std::uint64_t X64 = x_power_mod(64);
constexpr std::uint64_t X96 = x_power_mod(96);

__attribute__((target("pclmul,ssse3"))) inline std::uint64_t clmul(std::uint64_t a,
                                                                   std::uint64_t b) {
    const __m128i product = _mm_clmulepi64_si128(_mm_cvtsi64_si128(static_cast<long long>(a)),
                                                 _mm_cvtsi64_si128(static_cast<long long>(b)), 0);
    return static_cast<std::uint64_t>(_mm_cvtsi128_si64(product));
}

// D of the sixteen nibbles at `run`: each byte pair becomes first * 16 + second, the pairs are
// packed to eight bytes, and the byte swap puts n0 n1 at the top.
__attribute__((target("pclmul,ssse3"))) inline std::uint64_t run_polynomial(
    const std::uint8_t* run) {
    const __m128i nibbles = _mm_loadu_si128(reinterpret_cast<const __m128i*>(run));
    const __m128i pairs = _mm_maddubs_epi16(nibbles, _mm_set1_epi16(0x0110));
    const __m128i bytes = _mm_packus_epi16(pairs, pairs);
    return __builtin_bswap64(static_cast<std::uint64_t>(_mm_cvtsi128_si64(bytes)));
}

__attribute__((target("pclmul,ssse3"))) inline std::uint64_t fold_run(std::uint64_t s,
                                                                      const std::uint8_t* run) {
    return clmul(s >> 32, X96) ^ clmul(s & 0xFFFFFFFF, X64) ^ run_polynomial(run);
}

}  // namespace

bool fast_crc_available() {
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("ssse3");
}

__attribute__((target("pclmul,ssse3"))) std::uint16_t nibble_crc_fast(const std::uint8_t* nibbles,
                                                                      const CrcPass& pass) {
    std::uint64_t s = 0;
    for (std::int64_t r = 0; r < pass.repeats; ++r) {
        std::int64_t p = pass.start + 2 * static_cast<std::int64_t>(pass.stride) * r;
        std::int64_t q = p + pass.stride;
        for (std::int32_t c = 0; c < pass.count; ++c, p += 16, q += 16) {
            s = fold_run(s, nibbles + p);
            s = fold_run(s, nibbles + q);
        }
    }
    // S mod P: its sixteen nibbles stepped through a register that starts at 0.
    std::uint16_t crc = 0;
    for (int shift = 60; shift >= 0; shift -= 4) {
        crc = crc_nibble_step(crc, static_cast<std::uint8_t>(s >> shift & 0x0F));
    }
    return crc;
}
