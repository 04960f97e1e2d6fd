// The LZMA decoder over mutated entries. The first byte chooses the end marker (bit 0) and how
// reads are answered (the rest: whole reads, one byte, or pieces of varied sizes); the next two
// give the entry's size in KiB (at most 1 MiB, so that a dictionary is cut small and a stream
// ends soon); the rest is the entry's data: header, properties, stream. The decoder must end with
// one of its results, never write past the size, and give the same result and bytes however its
// reads were cut.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "lzma/lzma.h"
#include "report/messages.h"

namespace {

constexpr uint32_t kInputSize = 61440;

class PieceIo : public InflateIo {
 public:
  PieceIo(const uint8_t* data, size_t size, uint8_t pieceSeed) : data_(data), size_(size), seed_(pieceSeed) {}

  uint32_t readInput(uint8_t* buffer, uint32_t wanted) override {
    size_t n = size_ - position_;
    if (n > wanted) n = wanted;
    if (size_t piece = nextPiece(); n > piece) n = piece;
    if (n) std::memcpy(buffer, data_ + position_, n);
    position_ += n;
    return static_cast<uint32_t>(n);
  }
  void writeOutput(const uint8_t* bytes, uint32_t count) override {
    if (count == 0) std::abort();
    produced += count;
    for (uint32_t i = 0; i < count; ++i) digest = (digest ^ bytes[i]) * 0x100000001B3u;  // FNV-1a
  }

  uint64_t produced = 0;
  uint64_t digest = 0xCBF29CE484222325u;

 private:
  size_t nextPiece() {
    if (seed_ == 0) return SIZE_MAX;
    if (seed_ == 1) return 1;
    step_ = step_ * 33 + seed_;
    return 1 + step_ % (seed_ * 7u + 1);
  }

  const uint8_t* data_;
  size_t size_;
  uint8_t seed_;
  uint32_t step_ = 0;
  size_t position_ = 0;
};

int Run(const uint8_t* data, size_t size, uint64_t entrySize, bool endMarker, uint8_t seed, PieceIo* io) {
  // A buffer of exactly the engine's size, so that the sanitizers see any access past it.
  static std::unique_ptr<uint8_t[]> input(new uint8_t[kInputSize]);
  *io = PieceIo(data, size, seed);
  return DecodeLzma(input.get(), kInputSize, *io, entrySize, endMarker);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const bool endMarker = data[0] & 1;
  const uint8_t seed = data[0] >> 1;
  const uint64_t entrySize = (static_cast<uint64_t>(data[1] | data[2] << 8) % 1025) << 10 | (data[1] & 0x3F);
  PieceIo io(nullptr, 0, 0), whole(nullptr, 0, 0);
  const int result = Run(data + 3, size - 3, entrySize, endMarker, seed, &io);
  if (result != kInflateOk && result != kWarnDataEnded && result != kWarnLzmaBadData &&
      result != kWarnLzmaNoMemory && result != kWarnLzmaDictionaryTooLarge) {
    std::abort();
  }
  if (io.produced > entrySize || (result == kInflateOk && io.produced != entrySize)) std::abort();
  if (seed == 0) return 0;
  const int wholeResult = Run(data + 3, size - 3, entrySize, endMarker, 0, &whole);
  // Output goes out in pieces at the same places whatever the reads, and an error stops it at
  // the same symbol.
  if (wholeResult != result || whole.produced != io.produced || whole.digest != io.digest) std::abort();
  return 0;
}
