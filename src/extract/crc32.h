// The ZIP CRC-32 (reflected polynomial 0xEDB88320). The register is not conditioned here:
// callers start it at 0xFFFFFFFF and take the complement at the end.
#pragma once

#include <cstdint>

uint32_t Crc32Byte(uint8_t byte, uint32_t crc);
uint32_t Crc32Update(uint32_t crc, const uint8_t* bytes, uint32_t count);
