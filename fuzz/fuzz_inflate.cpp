// The decoder over arbitrary bytes. The first byte chooses the mode (Deflate or Deflate64) and
// how reads are answered: whole, one byte at a time, or in pieces of varied sizes, so that codes,
// headers and stored lengths are cut at every place. Output is counted (its pieces must fit the
// window), and the decoder must end with one of its four results. The same stream is then decoded
// again with reads of one byte, which keeps the decoder on its exact path throughout: the result
// and every output byte must be the same, whichever path and whichever cuts produced them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "inflate/inflate.h"

namespace {

constexpr uint32_t kInputSize = 61440;
constexpr uint32_t kWorkSize = kInflateWorkSize;
// A stream of a few KB can ask for gigabytes; past this the input is made to end.
constexpr uint64_t kOutputLimit = 4u << 20;
// The exact path's second decode is slow: it is taken for streams of at most this much output,
// which is still eight windows.
constexpr uint64_t kCompareLimit = 512u << 10;

class PieceIo : public InflateIo {
 public:
  PieceIo(const uint8_t* data, size_t size, uint8_t pieceSeed)
      : data_(data), size_(size), seed_(pieceSeed) {}

  uint32_t readInput(uint8_t* buffer, uint32_t wanted) override {
    if (produced >= kOutputLimit) return 0;
    size_t n = size_ - position_;
    if (n > wanted) n = wanted;
    if (size_t piece = nextPiece(); n > piece) n = piece;
    if (n) std::memcpy(buffer, data_ + position_, n);
    position_ += n;
    return static_cast<uint32_t>(n);
  }
  void writeOutput(const uint8_t* bytes, uint32_t count) override {
    if (count == 0 || count > kInflateWindowSize) std::abort();
    produced += count;
    for (uint32_t i = 0; i < count; ++i) digest = (digest ^ bytes[i]) * 0x100000001B3u;  // FNV-1a
  }

  uint64_t produced = 0;
  uint64_t digest = 0xCBF29CE484222325u;

 private:
  // 0: whole reads; 1: one byte; otherwise pieces that cycle through sizes derived from the seed.
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int deflate64 = data[0] & 1;
  const uint8_t pieceSeed = data[0] >> 1;
  // Buffers of exactly the engine's sizes, so that the sanitizers see any access past them.
  static std::unique_ptr<uint8_t[]> input(new uint8_t[kInputSize]);
  static std::unique_ptr<uint8_t[]> window(new uint8_t[kInflateWindowSize]);
  static std::unique_ptr<uint8_t[]> work(new uint8_t[kWorkSize]);
  std::memset(window.get(), 0, kInflateWindowSize);
  InflateBuffers buffers{input.get(), kInputSize, window.get(), work.get()};
  PieceIo io(data + 1, size - 1, pieceSeed);
  int result = Inflate(buffers, io, deflate64);
  if (result != kInflateOk && result != kInflateBadTable && result != kInflateBadBlockType &&
      result != kInflateDataEnded) {
    std::abort();
  }
  if (pieceSeed == 1 || io.produced > kCompareLimit) return 0;

  std::memset(window.get(), 0, kInflateWindowSize);
  PieceIo exact(data + 1, size - 1, 1);
  const int exactResult = Inflate(buffers, exact, deflate64);
  // A run cut short by the output limit ended where its reads happened to fall: not comparable.
  if (io.produced >= kOutputLimit || exact.produced >= kOutputLimit) return 0;
  if (exactResult != result || exact.produced != io.produced || exact.digest != io.digest) std::abort();
  return 0;
}
