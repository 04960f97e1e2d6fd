// The ZIP CRC-32: by carry-less multiplication where the processor has it (crc32_clmul.cpp),
// otherwise eight bytes per pass through eight tables.
#include "extract/crc32.h"


#include "extract/crc32_clmul.h"

constexpr uint32_t kCrc32Polynomial = 0xEDB88320;  // reflected

Crc32Tables::Crc32Tables() {
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ kCrc32Polynomial : c >> 1;
    entries[0][i] = c;
  }
  for (int k = 1; k < 8; ++k) {
    for (uint32_t i = 0; i < 256; ++i) {
      const uint32_t previous = entries[k - 1][i];
      entries[k][i] = (previous >> 8) ^ entries[0][previous & 0xFF];
    }
  }
}

const Crc32Tables kCrc32Tables;

namespace {

inline uint32_t Load32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// Below this many bytes the folding's set-up costs more than it saves.
constexpr uint32_t kClmulThreshold = 128;

// Decided once, from what the processor reports: constants of the process, not state.
const bool kUseClmul = Crc32ClmulAvailable();
const bool kUseWide = Crc32WideAvailable();
// The wide folding's set-up pays from here.
constexpr uint32_t kWideThreshold = 256;

}  // namespace

uint32_t Crc32UpdateTables(uint32_t crc, const uint8_t* bytes, uint32_t count) {
  for (; count >= 8; count -= 8, bytes += 8) {
    const uint32_t low = Load32(bytes) ^ crc;
    const uint32_t high = Load32(bytes + 4);
    const auto& t = kCrc32Tables.entries;
    crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
          t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF] ^ t[1][(high >> 16) & 0xFF] ^ t[0][high >> 24];
  }
  for (; count > 0; --count) crc = Crc32Byte(*bytes++, crc);
  return crc;
}

uint32_t Crc32Update(uint32_t crc, const uint8_t* bytes, uint32_t count) {
  if (kUseWide && count >= kWideThreshold) return Crc32UpdateWide(crc, bytes, count);
  if (kUseClmul && count >= kClmulThreshold) return Crc32UpdateClmul(crc, bytes, count);
  return Crc32UpdateTables(crc, bytes, count);
}
