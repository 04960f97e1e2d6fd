// The ZIP CRC-32 (reflected polynomial 0xEDB88320). The register is not conditioned here:
// callers start it at 0xFFFFFFFF and take the complement at the end.
#pragma once

#include <cstdint>

// Eight tables; the first is the byte-at-a-time table (crc32_table.py).
extern const uint32_t kCrc32Tables[8][256];

// Inline: the cipher takes two steps per byte in its tight loop.
inline uint32_t Crc32Byte(uint8_t byte, uint32_t crc) {
  return kCrc32Tables[0][(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

uint32_t Crc32Update(uint32_t crc, const uint8_t* bytes, uint32_t count);
