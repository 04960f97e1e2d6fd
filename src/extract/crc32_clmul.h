// The CRC-32 by carry-less multiplication, for processors with PCLMULQDQ and SSE4.1, and wider for
// those with VPCLMULQDQ. Internal to extract/: Crc32Update chooses what the processor has.
#pragma once

#include <cstdint>

// Whether this processor runs Crc32UpdateClmul (always false off x86).
bool Crc32ClmulAvailable();
// Same result as Crc32UpdateTables; count at least 64.
uint32_t Crc32UpdateClmul(uint32_t crc, const uint8_t* bytes, uint32_t count);
// Whether this processor, and the system's saving of its registers, runs Crc32UpdateWide: 256-bit
// carry-less multiplication (VPCLMULQDQ with AVX2).
bool Crc32WideAvailable();
// Same result as Crc32UpdateTables, 128 bytes a pass; count at least 128.
uint32_t Crc32UpdateWide(uint32_t crc, const uint8_t* bytes, uint32_t count);
// Eight bytes per pass through eight tables; any count.
uint32_t Crc32UpdateTables(uint32_t crc, const uint8_t* bytes, uint32_t count);
