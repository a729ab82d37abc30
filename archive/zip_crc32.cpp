#include "archive/zip_crc32.h"

#include <zlib.h>

#if defined(__x86_64__) || defined(_M_X64)
#define ARCHIVE_CRC_FOLDING 1
#include <emmintrin.h>
#include <wmmintrin.h>
#if defined(_MSC_VER)
#include <intrin.h>
#else
#include <cpuid.h>
#endif
#endif

namespace archive {

namespace {

uint32_t TableCrc(uint32_t crc, const uint8_t* data, size_t length) {
  while (length > 0) {
    uInt piece = length > 0x40000000 ? 0x40000000 : static_cast<uInt>(length);
    crc = static_cast<uint32_t>(crc32(crc, data, piece));
    data += piece;
    length -= piece;
  }
  return crc;
}

#if ARCHIVE_CRC_FOLDING

bool HasCarrylessMultiply() {
#if defined(_MSC_VER)
  int info[4];
  __cpuid(info, 1);
  return (info[2] & (1 << 1)) != 0;
#else
  unsigned a, b, c, d;
  return __get_cpuid(1, &a, &b, &c, &d) && (c & bit_PCLMUL);
#endif
}

#if defined(__GNUC__)
#define ARCHIVE_TARGET_PCLMUL __attribute__((target("pclmul,sse2")))
#else
#define ARCHIVE_TARGET_PCLMUL
#endif

ARCHIVE_TARGET_PCLMUL inline __m128i Load(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// One lane step: x times x^a (low half) and x^b (high half), plus the next.
ARCHIVE_TARGET_PCLMUL inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
  return _mm_xor_si128(
      _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

// Folds `length` bytes (a multiple of 16, at least 64) into the bit-reflected
// CRC state `crc` (no pre- or post-inversion), by the method of Intel's
// "Fast CRC Computation for Generic Polynomials Using PCLMULQDQ": four
// 128-bit lanes folded 64 bytes at a time, folded into one, reduced to 64
// and then 32 bits (Barrett). The constants are powers of x modulo the
// reflected polynomial 0xEDB88320.
ARCHIVE_TARGET_PCLMUL uint32_t FoldCrc(uint32_t crc, const uint8_t* data, size_t length) {
  const __m128i k1k2 = _mm_set_epi64x(0x1c6e41596, 0x154442bd4);
  const __m128i k3k4 = _mm_set_epi64x(0x0ccaa009e, 0x1751997d0);
  const __m128i k5 = _mm_set_epi64x(0, 0x163cd6124);
  const __m128i poly_mu = _mm_set_epi64x(0x1f7011641, 0x1db710641);
  const __m128i mask32 = _mm_set_epi32(0, 0, 0, -1);

  __m128i x1 = _mm_xor_si128(Load(data), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x2 = Load(data + 16), x3 = Load(data + 32), x4 = Load(data + 48);
  data += 64;
  length -= 64;
  while (length >= 64) {
    x1 = Fold(x1, k1k2, Load(data));
    x2 = Fold(x2, k1k2, Load(data + 16));
    x3 = Fold(x3, k1k2, Load(data + 32));
    x4 = Fold(x4, k1k2, Load(data + 48));
    data += 64;
    length -= 64;
  }
  x1 = Fold(x1, k3k4, x2);
  x1 = Fold(x1, k3k4, x3);
  x1 = Fold(x1, k3k4, x4);
  while (length >= 16) {
    x1 = Fold(x1, k3k4, Load(data));
    data += 16;
    length -= 16;
  }
  // 128 to 64 bits (appending 32 zero bits), then to 32 bits.
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(x1, k3k4, 0x10), _mm_srli_si128(x1, 8));
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, mask32), k5, 0x00),
                     _mm_srli_si128(x1, 4));
  // Barrett reduction.
  __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), poly_mu, 0x10);
  t = _mm_clmulepi64_si128(_mm_and_si128(t, mask32), poly_mu, 0x00);
  x1 = _mm_xor_si128(x1, t);
  return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(x1, 4)));
}

#endif  // ARCHIVE_CRC_FOLDING

}  // namespace

uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t length) {
#if ARCHIVE_CRC_FOLDING
  static const bool folding = HasCarrylessMultiply();
  if (folding && length >= 64) {
    size_t bulk = length & ~static_cast<size_t>(15);
    crc = ~FoldCrc(~crc, data, bulk);
    data += bulk;
    length -= bulk;
  }
#endif
  return TableCrc(crc, data, length);
}

}  // namespace archive
