// The ZIP CRC-32: one 256-entry table, eight bytes per loop pass, then the tail byte by byte.
#include "extract/crc32.h"

namespace {

const uint32_t kCrcTable[256] = {
#include "extract/crc32_table.inc"
};

inline uint32_t Step(uint32_t crc, uint8_t byte) {
  return kCrcTable[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

}  // namespace

uint32_t Crc32Byte(uint8_t byte, uint32_t crc) { return Step(crc, byte); }

uint32_t Crc32Update(uint32_t crc, const uint8_t* bytes, uint32_t count) {
  // Every decoded byte passes through here: unrolling keeps the loop overhead off the one
  // table lookup per byte that the reflected CRC needs.
  for (uint32_t passes = count / 8; passes > 0; --passes) {
    crc = Step(crc, bytes[0]);
    crc = Step(crc, bytes[1]);
    crc = Step(crc, bytes[2]);
    crc = Step(crc, bytes[3]);
    crc = Step(crc, bytes[4]);
    crc = Step(crc, bytes[5]);
    crc = Step(crc, bytes[6]);
    crc = Step(crc, bytes[7]);
    bytes += 8;
  }
  for (uint32_t tail = count % 8; tail > 0; --tail) crc = Step(crc, *bytes++);
  return crc;
}
