// The ZIP CRC-32 (reflected polynomial 0xEDB88320). The register is not conditioned here:
// callers start it at 0xFFFFFFFF and take the complement at the end.
#pragma once

#include <cstdint>

// Eight tables of 256 entries. Entry i of the first is the register after eight shift steps of
// i; entry i of table k is entry i of table k - 1 after eight more zero bits, so that one pass
// takes eight bytes with eight lookups. Built when the program starts rather than stored: 8 KB
// less in the stub that every self-extracting archive carries.
struct Crc32Tables {
  Crc32Tables();
  uint32_t entries[8][256];
};
extern const Crc32Tables kCrc32Tables;

// Inline: the cipher takes two steps per byte in its tight loop.
inline uint32_t Crc32Byte(uint8_t byte, uint32_t crc) {
  return kCrc32Tables.entries[0][(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

uint32_t Crc32Update(uint32_t crc, const uint8_t* bytes, uint32_t count);
