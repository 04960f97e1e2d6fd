// Test harness of the decoder: buffers of the engine's sizes, an in-memory InflateIo, a bit writer
// for hand-built streams, zlib as the reference encoder and a minimal reader of ZIP local entries.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "inflate/inflate.h"

namespace inflate_test {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kInputSize = 61440;
constexpr uint32_t kWindowSize = 65536;
constexpr uint32_t kWorkSize = kInflateWorkSize;

// Feeds a stream in pieces of at most `piece` bytes and keeps what the decoder hands out, piece by
// piece, so tests can check where the window was flushed.
class MemoryIo : public InflateIo {
 public:
  MemoryIo(const Bytes& input, uint32_t piece) : input_(input), piece_(piece) {}
  uint32_t readInput(uint8_t* buffer, uint32_t wanted) override;
  void writeOutput(const uint8_t* bytes, uint32_t count) override;

  Bytes output;
  std::vector<uint32_t> pieces;
  uint32_t reads = 0;

 private:
  const Bytes& input_;
  uint32_t piece_;
  size_t position_ = 0;
};

struct Decoded {
  int result;
  Bytes output;
  std::vector<uint32_t> pieces;
};

struct DecodeOptions {
  int deflate64 = 0;
  uint32_t piece = kInputSize;  // largest read the io answers
  const Bytes* oldWindow = nullptr;  // window content left by an earlier entry (zeros otherwise)
};

// Decodes in freshly allocated buffers of exactly the engine's sizes, so that the sanitizers see
// any access outside them. The work buffer starts as garbage: nothing may rely on its content.
Decoded Decode(const Bytes& stream, const DecodeOptions& options = {});

// Decodes while keeping only the amount and CRC-32 of the output, for streams that expand a lot.
struct Counted {
  int result;
  uint64_t size;
  uint32_t crc;
};
Counted DecodeCounting(const Bytes& stream, int deflate64, uint64_t stopAfter = UINT64_MAX);

uint32_t Crc32(const Bytes& bytes);

// Writes bits least significant first, as the format packs them.
class BitWriter {
 public:
  void bits(uint32_t value, unsigned count);
  // A Huffman code goes out most significant bit first.
  void code(uint32_t code, unsigned length);
  void code(const std::pair<uint32_t, unsigned>& codeAndLength) { code(codeAndLength.first, codeAndLength.second); }
  void alignToByte();
  void byte(uint8_t value) { bits(value, 8); }
  const Bytes& bytes();

 private:
  Bytes bytes_;
  uint32_t pending_ = 0;
  unsigned pendingCount_ = 0;
};

// The canonical code of a list of code lengths: (code, length) per symbol, length 0 for none.
std::vector<std::pair<uint32_t, unsigned>> CanonicalCodes(const std::vector<uint8_t>& lengths);

// Fixed-code literal/length and distance symbols.
void FixedLitLen(BitWriter& writer, unsigned symbol);
void FixedDistance(BitWriter& writer, unsigned symbol);

// One instruction of a dynamic header's code-length sequence: a code-length symbol and the value
// of its extra bits (16: 2 bits, 17: 3 bits, 18: 7 bits).
struct LengthStep {
  unsigned symbol;
  uint32_t extra = 0;
};

// A complete code-length code: symbols 0 to 15 of length 5, 16 of length 2, 17 and 18 of length 3.
std::vector<uint8_t> StandardCodeLengthCode();

// Writes a dynamic block header: BFINAL, BTYPE 2, the counts, all 19 code-length-code lengths,
// then the steps encoded with that code.
void DynamicHeader(BitWriter& writer, bool final, unsigned litLenCount, unsigned distanceCount,
                   const std::vector<uint8_t>& codeLengthCode, const std::vector<LengthStep>& steps);

// The steps that give every length one by one.
std::vector<LengthStep> PlainSteps(const std::vector<uint8_t>& litLen, const std::vector<uint8_t>& distance);

// A stream made by zlib (raw Deflate, 32 KB window).
struct ZlibSettings {
  int level = 9;
  int strategy = 0;            // Z_DEFAULT_STRATEGY
  uint32_t syncFlushEvery = 0;  // 0: none; otherwise a sync flush (empty stored block) every n bytes
};
Bytes ZlibDeflate(const Bytes& data, const ZlibSettings& settings = {});

// The local entries of a ZIP file, walked from its start while local headers follow each other.
// Data is cut to what the file holds.
struct LocalEntry {
  std::string name;
  uint16_t method;
  uint32_t crc;
  uint32_t compressedSize;
  uint32_t uncompressedSize;
  Bytes data;
};
std::vector<LocalEntry> ReadLocalEntries(const Bytes& zip);

Bytes ReadFile(const std::string& path);
bool FileExists(const std::string& path);

}  // namespace inflate_test
