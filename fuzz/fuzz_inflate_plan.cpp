// The decoder over valid streams that the input plans (tests/support/deflate_plan.h): literals,
// near and far matches, long Deflate64 lengths, flush markers, stored, fixed and dynamic blocks.
// Byte mutation of raw streams almost never reaches the window's edges with a valid stream; here
// every input is a valid stream, and the decoder must give exactly what a plain ring-buffer model
// of the window gives, with whole reads (the extractor's 61440 bytes) and with reads whose sizes
// vary from 1 to 70000 bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "deflate_plan.h"
#include "inflate/inflate.h"

namespace {

constexpr uint32_t kInputSize = 61440;

class ReadsIo : public InflateIo {
 public:
  ReadsIo(const std::vector<uint8_t>& stream, const std::vector<uint8_t>& expected, uint32_t seed)
      : stream_(stream), expected_(expected), seed_(seed), step_(seed) {}
  uint32_t readInput(uint8_t* buffer, uint32_t wanted) override {
    size_t n = stream_.size() - position_;
    if (n > wanted) n = wanted;
    if (seed_) {
      const uint32_t size = deflate_plan::IrregularReadSize(seed_, step_);
      if (n > size) n = size;
    }
    if (n) std::memcpy(buffer, stream_.data() + position_, n);
    position_ += n;
    return static_cast<uint32_t>(n);
  }
  // Compared as they come, so that a fault stops at the first wrong byte.
  void writeOutput(const uint8_t* bytes, uint32_t count) override {
    if (count == 0 || count > kInflateWindowSize || count > expected_.size() - produced_ ||
        std::memcmp(bytes, expected_.data() + produced_, count) != 0) {
      std::abort();
    }
    produced_ += count;
  }
  size_t produced() const { return produced_; }

 private:
  const std::vector<uint8_t>& stream_;
  const std::vector<uint8_t>& expected_;
  uint32_t seed_;  // 0: whole reads
  uint32_t step_;
  size_t position_ = 0;
  size_t produced_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  deflate_plan::Choices choices(data, size);
  const bool deflate64 = choices.percent(50);
  const uint32_t readSeed = 1 + choices.below(1u << 16);
  deflate_plan::PlanLimits limits;
  limits.maxOutput = 400000;
  const deflate_plan::PlannedStream planned = deflate_plan::MakeStream(choices, deflate64, limits);

  // Buffers of exactly the engine's sizes, so that the sanitizers see any access past them; the
  // window starts with another entry's bytes, which must never reach the output.
  static std::unique_ptr<uint8_t[]> input(new uint8_t[kInputSize]);
  static std::unique_ptr<uint8_t[]> window(new uint8_t[kInflateWindowSize]);
  static std::unique_ptr<uint8_t[]> work(new uint8_t[kInflateWorkSize]);
  const InflateBuffers buffers{input.get(), kInputSize, window.get(), work.get()};
  for (uint32_t seed : {0u, readSeed}) {
    std::memset(window.get(), 0xEE, kInflateWindowSize);
    ReadsIo io(planned.stream, planned.expected, seed);
    if (Inflate(buffers, io, deflate64 ? 1 : 0) != kInflateOk || io.produced() != planned.expected.size()) {
      std::abort();
    }
  }
  return 0;
}
