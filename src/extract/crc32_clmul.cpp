// The CRC-32 by carry-less multiplication: 64 bytes are folded at a time into four 128-bit
// lanes, the lanes into one, and the last 16 folded bytes plus the tail go through the tables.
//
// Folding rests on the CRC being linear: a 128-bit lane followed by n bits of data leaves the
// same register as its two 64-bit halves carried n bits on, which is a carry-less product of each
// half with a constant (x^(n+32) and x^(n-32) modulo the polynomial, bit-reflected as the register
// is); the two products fit in the next lane. XOR-ing the incoming register into the first four
// bytes and starting from 0 gives the same result, so the lanes carry everything, and the tables
// finish the last lane and the tail from a register of 0.
//
// Compiled for the processor it runs on through target attributes, not global flags: the
// program still runs where the instructions are missing, and Crc32ClmulAvailable says which.
#include "extract/crc32_clmul.h"

#if defined(__x86_64__) || defined(__i386__)

#include <cpuid.h>
#include <immintrin.h>

#include <cstring>

namespace {

// x^(4*128+32) and x^(4*128-32) mod P: folding across four lanes (512 bits).
constexpr long long kFold512Low = 0x154442BD4LL;
constexpr long long kFold512High = 0x1C6E41596LL;
// x^(128+32) and x^(128-32) mod P: folding into the next lane (128 bits).
constexpr long long kFold128Low = 0x1751997D0LL;
constexpr long long kFold128High = 0x0CCAA009ELL;

#if defined(__i386__)
// 32-bit Windows keeps the stack aligned to 4 bytes only; 128-bit values need 16.
#define VESPA_CLMUL_TARGET __attribute__((target("pclmul,sse4.1"), force_align_arg_pointer))
#else
#define VESPA_CLMUL_TARGET __attribute__((target("pclmul,sse4.1")))
#endif

VESPA_CLMUL_TARGET inline __m128i Fold(__m128i lane, __m128i constants, __m128i next) {
  const __m128i low = _mm_clmulepi64_si128(lane, constants, 0x00);
  const __m128i high = _mm_clmulepi64_si128(lane, constants, 0x11);
  return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

VESPA_CLMUL_TARGET inline __m128i Load(const uint8_t* bytes) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
}

}  // namespace

bool Crc32ClmulAvailable() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  return (ecx & bit_PCLMUL) && (ecx & bit_SSE4_1);
}

VESPA_CLMUL_TARGET uint32_t Crc32UpdateClmul(uint32_t crc, const uint8_t* bytes, uint32_t count) {
  __m128i lane0 = _mm_xor_si128(Load(bytes), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i lane1 = Load(bytes + 16);
  __m128i lane2 = Load(bytes + 32);
  __m128i lane3 = Load(bytes + 48);
  bytes += 64;
  count -= 64;

  const __m128i fold512 = _mm_set_epi64x(kFold512High, kFold512Low);
  for (; count >= 64; count -= 64, bytes += 64) {
    lane0 = Fold(lane0, fold512, Load(bytes));
    lane1 = Fold(lane1, fold512, Load(bytes + 16));
    lane2 = Fold(lane2, fold512, Load(bytes + 32));
    lane3 = Fold(lane3, fold512, Load(bytes + 48));
  }

  const __m128i fold128 = _mm_set_epi64x(kFold128High, kFold128Low);
  __m128i lane = Fold(lane0, fold128, lane1);
  lane = Fold(lane, fold128, lane2);
  lane = Fold(lane, fold128, lane3);
  for (; count >= 16; count -= 16, bytes += 16) lane = Fold(lane, fold128, Load(bytes));

  uint8_t folded[16];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(folded), lane);
  return Crc32UpdateTables(Crc32UpdateTables(0, folded, 16), bytes, count);
}

#else

bool Crc32ClmulAvailable() { return false; }
uint32_t Crc32UpdateClmul(uint32_t crc, const uint8_t* bytes, uint32_t count) {
  return Crc32UpdateTables(crc, bytes, count);
}

#endif
