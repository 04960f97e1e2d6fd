// The LZMA (method 14) decoder.
//
// An entry's data opens with a 4-byte header (the maker's version, 2 bytes, and the size of the
// properties that follow, 2 bytes: 5), the 5 properties bytes (one byte of (pb * 5 + lp) * 9 + lc,
// then the dictionary size, 32-bit little-endian) and the range-coded stream. The stream ends
// after the entry's uncompressed size or, when bit 1 of the general-purpose flags is set, with an
// end marker.
#pragma once

#include <cstdint>

#include "inflate/inflate.h"

constexpr uint32_t kLzmaHeaderSize = 4 + 5;

// The largest dictionary this program allocates for an entry, after it is cut to the entry's
// size: four times what the strongest 7-Zip level uses (64 MiB), and small enough that a 32-bit
// process still finds it in one piece with a dictionary for each of its decoding threads.
constexpr uint32_t kLzmaDictionaryLimit = 256u << 20;

struct LzmaProperties {
  unsigned lc = 0;  // literal context bits, 0 to 8
  unsigned lp = 0;  // literal position bits, 0 to 4
  unsigned pb = 0;  // position bits, 0 to 4
  uint32_t dictionarySize = 0;
};

// The 9 bytes of the header and properties; false for a properties size other than 5 or a
// properties byte above 224.
bool ParseLzmaHeader(const uint8_t* header, LzmaProperties* properties);

// The dictionary an entry of `size` bytes really needs: never more than its size, nor less than
// the format's 4096 bytes unless the entry is smaller.
uint64_t LzmaNeededDictionary(uint32_t dictionarySize, uint64_t size);

// Bytes the decoder allocates for an entry: the dictionary buffer and the probabilities.
uint64_t LzmaMemoryUse(const LzmaProperties& properties, uint64_t size);

// Decodes one entry's data, reading through io into input (inputSize bytes, at least 4096) and
// writing through io from the dictionary it allocates. size: the entry's uncompressed size;
// endMarker: the stream ends with an end marker. Returns 0 or the warning to report:
// kWarnDataEnded, kWarnLzmaBadData, kWarnLzmaDictionaryTooLarge, kWarnLzmaNoMemory.
int DecodeLzma(uint8_t* input, uint32_t inputSize, InflateIo& io, uint64_t size, bool endMarker);
