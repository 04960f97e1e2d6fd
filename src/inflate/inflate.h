// The Deflate (method 8) and Deflate64 (method 9) decoder.
#pragma once

#include <cstdint>

// Where compressed bytes come from and decoded bytes go.
class InflateIo {
 public:
  virtual ~InflateIo() = default;
  // Up to wanted compressed bytes; 0 once the entry's data is used up.
  virtual uint32_t readInput(uint8_t* buffer, uint32_t wanted) = 0;
  virtual void writeOutput(const uint8_t* bytes, uint32_t count) = 0;
};

// Deflate64 distances reach 65536 bytes back: the window holds that many.
constexpr uint32_t kInflateWindowSize = 65536;

// The decoder's tables and a copy of the last whole window (inflate/huffman.h) need this much work
// memory.
constexpr uint32_t kInflateWorkSize = 16384 + 65536;

// The buffers the decoder works in; it allocates nothing itself.
struct InflateBuffers {
  uint8_t* input;   // compressed bytes, inputSize (61440)
  uint32_t inputSize;
  uint8_t* window;  // sliding window and output buffer, exactly kInflateWindowSize bytes
  uint8_t* work;    // code lengths, lookup tables and a copy of the window, kInflateWorkSize bytes
};

constexpr int kInflateOk = 0;
constexpr int kInflateBadTable = 10;     // bad code, code-length run or stored length
constexpr int kInflateBadBlockType = 11;  // block type 3
constexpr int kInflateDataEnded = 12;     // compressed data ran out inside a Huffman block

int Inflate(const InflateBuffers& buffers, InflateIo& io, int deflate64);
