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
// The same for the 256-bit lanes: across four of them (1024 bits), and into the next (256 bits).
constexpr long long kFold1024Low = 0x1E88EF372LL;
constexpr long long kFold1024High = 0x14A7FE880LL;
constexpr long long kFold256Low = 0x0F1DA05AALL;
constexpr long long kFold256High = 0x15A546366LL;

#if defined(__i386__)
// 32-bit Windows keeps the stack aligned to 4 bytes only; 128-bit values need 16.
#define VESPA_CLMUL_TARGET __attribute__((target("pclmul,sse4.1"), force_align_arg_pointer))
#define VESPA_WIDE_TARGET __attribute__((target("vpclmulqdq,pclmul,avx2"), force_align_arg_pointer))
#else
#define VESPA_CLMUL_TARGET __attribute__((target("pclmul,sse4.1")))
#define VESPA_WIDE_TARGET __attribute__((target("vpclmulqdq,pclmul,avx2")))
#endif

VESPA_CLMUL_TARGET inline __m128i Fold(__m128i lane, __m128i constants, __m128i next) {
  const __m128i low = _mm_clmulepi64_si128(lane, constants, 0x00);
  const __m128i high = _mm_clmulepi64_si128(lane, constants, 0x11);
  return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

VESPA_CLMUL_TARGET inline __m128i Load(const uint8_t* bytes) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
}

VESPA_WIDE_TARGET inline __m256i FoldWide(__m256i lane, __m256i constants, __m256i next) {
  const __m256i low = _mm256_clmulepi64_epi128(lane, constants, 0x00);
  const __m256i high = _mm256_clmulepi64_epi128(lane, constants, 0x11);
  return _mm256_xor_si256(_mm256_xor_si256(low, high), next);
}

VESPA_WIDE_TARGET inline __m256i LoadWide(const uint8_t* bytes) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes));
}

// The last lane and the tail, from a register of 0 (see above).
VESPA_CLMUL_TARGET uint32_t FinishLane(__m128i lane, const uint8_t* bytes, uint32_t count) {
  const __m128i fold128 = _mm_set_epi64x(kFold128High, kFold128Low);
  for (; count >= 16; count -= 16, bytes += 16) lane = Fold(lane, fold128, Load(bytes));
  uint8_t folded[16];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(folded), lane);
  return Crc32UpdateTables(Crc32UpdateTables(0, folded, 16), bytes, count);
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
  return FinishLane(lane, bytes, count);
}

bool Crc32WideAvailable() {
  // The wide path finishes on the 128-bit one.
  if (!Crc32ClmulAvailable()) return false;
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  // The system must save the 256-bit registers (OSXSAVE, then XCR0's SSE and AVX state).
  if (!(ecx & bit_OSXSAVE) || !(ecx & bit_AVX)) return false;
  unsigned xcr0Low = 0, xcr0High = 0;
  __asm__("xgetbv" : "=a"(xcr0Low), "=d"(xcr0High) : "c"(0));
  if ((xcr0Low & 6) != 6) return false;
  if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
  return (ebx & bit_AVX2) && (ecx & bit_VPCLMULQDQ);
}

// Four 256-bit lanes, 128 bytes a pass; the lanes fold into one, its two halves into a 128-bit
// lane, and that finishes as above.
VESPA_WIDE_TARGET uint32_t Crc32UpdateWide(uint32_t crc, const uint8_t* bytes, uint32_t count) {
  __m256i lane0 = _mm256_xor_si256(LoadWide(bytes), _mm256_zextsi128_si256(_mm_cvtsi32_si128(static_cast<int>(crc))));
  __m256i lane1 = LoadWide(bytes + 32);
  __m256i lane2 = LoadWide(bytes + 64);
  __m256i lane3 = LoadWide(bytes + 96);
  bytes += 128;
  count -= 128;

  const __m256i fold1024 = _mm256_set_epi64x(kFold1024High, kFold1024Low, kFold1024High, kFold1024Low);
  for (; count >= 128; count -= 128, bytes += 128) {
    lane0 = FoldWide(lane0, fold1024, LoadWide(bytes));
    lane1 = FoldWide(lane1, fold1024, LoadWide(bytes + 32));
    lane2 = FoldWide(lane2, fold1024, LoadWide(bytes + 64));
    lane3 = FoldWide(lane3, fold1024, LoadWide(bytes + 96));
  }

  const __m256i fold256 = _mm256_set_epi64x(kFold256High, kFold256Low, kFold256High, kFold256Low);
  __m256i lane = FoldWide(lane0, fold256, lane1);
  lane = FoldWide(lane, fold256, lane2);
  lane = FoldWide(lane, fold256, lane3);
  const __m128i fold128 = _mm_set_epi64x(kFold128High, kFold128Low);
  return FinishLane(Fold(_mm256_castsi256_si128(lane), fold128, _mm256_extracti128_si256(lane, 1)), bytes, count);
}

#else

bool Crc32ClmulAvailable() { return false; }
uint32_t Crc32UpdateClmul(uint32_t crc, const uint8_t* bytes, uint32_t count) {
  return Crc32UpdateTables(crc, bytes, count);
}
bool Crc32WideAvailable() { return false; }
uint32_t Crc32UpdateWide(uint32_t crc, const uint8_t* bytes, uint32_t count) {
  return Crc32UpdateTables(crc, bytes, count);
}

#endif
