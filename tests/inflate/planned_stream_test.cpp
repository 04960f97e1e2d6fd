// Valid streams made from plans of symbols (support/deflate_plan.h): the decoder must give what a
// plain ring-buffer model of the window gives, whatever the read sizes. The hand-made rows put a
// far match or a flush marker right where the fast loop's copies past a match's end leave the
// bytes ahead of the write position altered: after a hand-over of the window inside the loop.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>

#include "deflate_plan.h"
#include "inflate_harness.h"

namespace inflate_test {
namespace {

using deflate_plan::Choices;
using deflate_plan::HandPlan;
using deflate_plan::PlannedStream;

// Answers reads with the sizes given, in turn, then with whole reads.
class SizedReadsIo : public InflateIo {
 public:
  SizedReadsIo(const Bytes& input, std::vector<uint32_t> sizes) : input_(input), sizes_(std::move(sizes)) {}
  uint32_t readInput(uint8_t* buffer, uint32_t wanted) override {
    uint32_t n = std::min<uint32_t>(wanted, static_cast<uint32_t>(input_.size() - position_));
    if (next_ < sizes_.size()) n = std::min(n, sizes_[next_++]);
    if (n) std::memcpy(buffer, input_.data() + position_, n);
    position_ += n;
    return n;
  }
  void writeOutput(const uint8_t* bytes, uint32_t count) override { output.insert(output.end(), bytes, bytes + count); }

  Bytes output;

 private:
  const Bytes& input_;
  std::vector<uint32_t> sizes_;
  size_t next_ = 0;
  size_t position_ = 0;
};

// The window starts with another entry's bytes: none of them may reach the output.
Bytes DecodeWithReads(const Bytes& stream, bool deflate64, std::vector<uint32_t> sizes, int& result) {
  std::unique_ptr<uint8_t[]> input(new uint8_t[kInputSize]);
  std::unique_ptr<uint8_t[]> window(new uint8_t[kWindowSize]);
  std::unique_ptr<uint8_t[]> work(new uint8_t[kWorkSize]);
  std::memset(window.get(), 0xEE, kWindowSize);
  std::memset(work.get(), 0xA5, kWorkSize);
  SizedReadsIo io(stream, std::move(sizes));
  result = Inflate(InflateBuffers{input.get(), kInputSize, window.get(), work.get()}, io, deflate64 ? 1 : 0);
  return std::move(io.output);
}

std::vector<uint32_t> IrregularReads(uint32_t seed, size_t total) {
  std::vector<uint32_t> sizes;
  uint32_t step = seed;
  for (size_t sum = 0; sum <= total;) {
    sizes.push_back(deflate_plan::IrregularReadSize(seed, step));
    sum += sizes.back();
  }
  return sizes;
}

TEST(PlannedStreams, DecodeAsTheWindowModelGivesWithReadsOfEverySize) {
  uint32_t farMatches = 0, markers = 0;
  for (uint64_t seed = 0; seed < 160; ++seed) {
    const bool deflate64 = seed % 2;
    Choices choices(seed);
    deflate_plan::PlanLimits limits;
    limits.maxOutput = 600000;
    const PlannedStream planned = deflate_plan::MakeStream(choices, deflate64, limits);
    farMatches += planned.farMatches;
    markers += planned.markers;
    SCOPED_TRACE(::testing::Message() << "seed " << seed << ", " << planned.stream.size() << " bytes in, "
                                      << planned.expected.size() << " out");
    const std::vector<uint32_t> reads[] = {{}, IrregularReads(static_cast<uint32_t>(seed), planned.stream.size())};
    for (const std::vector<uint32_t>& sizes : reads) {
      int result = -1;
      const Bytes output = DecodeWithReads(planned.stream, deflate64, sizes, result);
      ASSERT_EQ(result, kInflateOk) << (sizes.empty() ? "whole reads" : "irregular reads");
      ASSERT_TRUE(output == planned.expected) << (sizes.empty() ? "whole reads" : "irregular reads");
    }
  }
  // The plans must reach what they are for.
  EXPECT_GT(farMatches, 1000u);
  EXPECT_GT(markers, 20u);
}

// Literals to just before the end of the window's second round (the first hand-over is the exact
// path's, after which the loop copies past a match's end), then a match that crosses the window
// end: the loop hands the window over inside itself and goes on. Short near matches then leave
// the bytes ahead of the write position altered.
void ToAHandOverInsideTheLoop(HandPlan& plan) {
  std::mt19937 generator(7);
  for (uint32_t i = 0; i < 2 * kWindowSize - 10; ++i) plan.literal(static_cast<uint8_t>(generator()));
  plan.match(20, 100);
  for (int i = 0; i < 4; ++i) {
    plan.literal(static_cast<uint8_t>(generator()));
    plan.match(3, 9 + i);
  }
}

// The input ends just there: the loop stops for lack of input, and the first symbol the exact path
// decodes is a match that reads the bytes ahead. Every cut of the reads around it.
TEST(PlannedStreams, FarMatchRightAfterTheLoopStopsForInput) {
  for (bool deflate64 : {true, false}) {
    HandPlan plan(deflate64);
    ToAHandOverInsideTheLoop(plan);
    const uint32_t before = static_cast<uint32_t>(plan.streamSize());
    for (int i = 0; i < 6; ++i) plan.match(4, kWindowSize - 6);
    for (int i = 0; i < 64; ++i) plan.literal('z');
    const PlannedStream planned = plan.finish();
    // The loop stops with fewer than 32 bytes of input left, and reads up to 8 bytes ahead.
    for (uint32_t cut = before + 16; cut < before + 64; ++cut) {
      SCOPED_TRACE(::testing::Message() << "deflate64 " << deflate64 << ", reads end at " << cut);
      std::vector<uint32_t> sizes;
      for (uint32_t at = 0; at < cut; at += kInputSize) sizes.push_back(std::min(kInputSize, cut - at));
      int result = -1;
      const Bytes output = DecodeWithReads(planned.stream, deflate64, sizes, result);
      ASSERT_EQ(result, kInflateOk);
      ASSERT_TRUE(output == planned.expected);
    }
  }
}

// A flush marker in the loop right after such a hand-over: the bytes ahead of it must be put back
// before writing goes on at the window start, for matches that read them at ordinary distances.
TEST(PlannedStreams, FlushMarkerRightAfterAHandOverInsideTheLoop) {
  HandPlan plan(true);
  ToAHandOverInsideTheLoop(plan);
  const uint32_t markerAt = 10 + 4 * 4;  // the write position: past the crossing match's tail
  plan.marker();
  for (int i = 0; i < 5; ++i) plan.literal('m');
  for (int i = 0; i < 8; ++i) plan.match(3, kWindowSize - (markerAt - 5));  // from markerAt on
  for (int i = 0; i < 64; ++i) plan.literal('z');
  const PlannedStream planned = plan.finish();
  int result = -1;
  const Bytes output = DecodeWithReads(planned.stream, true, {}, result);
  ASSERT_EQ(result, kInflateOk);
  ASSERT_TRUE(output == planned.expected);
}

}  // namespace
}  // namespace inflate_test
