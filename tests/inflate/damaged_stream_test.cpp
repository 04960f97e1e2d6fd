// Damaged and random input: whatever the bytes, the decoder stays inside its buffers (the
// sanitizers watch every access), comes to an end and returns one of its codes.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "inflate_harness.h"

namespace inflate_test {
namespace {

bool IsDecoderResult(int result) {
  return result == kInflateOk || result == kInflateBadTable || result == kInflateBadBlockType ||
         result == kInflateDataEnded;
}

Bytes TextLike(size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  Bytes out(size);
  for (auto& b : out) b = static_cast<uint8_t>("etaoin shrdlu\n"[generator() % 14]);
  return out;
}

TEST(InflateDamage, RandomBytesInBothModes) {
  std::mt19937 generator(2024);
  for (int round = 0; round < 400; ++round) {
    Bytes stream(1 + generator() % 2000);
    for (auto& b : stream) b = static_cast<uint8_t>(generator());
    // The first byte's low three bits choose the first block: make every kind common.
    stream[0] = static_cast<uint8_t>((stream[0] & ~6u) | ((round % 3) << 1));
    for (int deflate64 : {0, 1}) {
      const Counted counted = DecodeCounting(stream, deflate64);
      ASSERT_TRUE(IsDecoderResult(counted.result)) << "round " << round << " result " << counted.result;
    }
  }
}

// Good streams with a few bytes changed: the damage lands in headers, code lengths, codes and
// stored lengths alike.
TEST(InflateDamage, GoodStreamsWithChangedBytes) {
  const Bytes sources[] = {
      ZlibDeflate(TextLike(100000, 1)),
      ZlibDeflate(TextLike(20000, 2), {6, 4 /* Z_FIXED */, 0}),
      ZlibDeflate(TextLike(70000, 3), {0, 0, 0}),
      ZlibDeflate(TextLike(50000, 4), {9, 0, 3001}),
  };
  std::mt19937 generator(77);
  for (const Bytes& source : sources) {
    for (int round = 0; round < 150; ++round) {
      Bytes stream = source;
      const int changes = 1 + generator() % 4;
      for (int i = 0; i < changes; ++i) {
        // Most changes near the start, where the block header and its code lengths are.
        const size_t limit = (generator() & 1) ? std::min<size_t>(stream.size(), 64) : stream.size();
        stream[generator() % limit] = static_cast<uint8_t>(generator());
      }
      if (generator() % 4 == 0) stream.resize(generator() % stream.size());
      for (int deflate64 : {0, 1}) {
        const Counted counted = DecodeCounting(stream, deflate64);
        ASSERT_TRUE(IsDecoderResult(counted.result)) << "round " << round;
      }
    }
  }
}

// A stream cut anywhere ends with one of the decoder's codes; on an error, what was handed over
// before (whole windows) is the start of the true output.
TEST(InflateDamage, CutStreamsEndAndKeepOnlyTrueOutput) {
  const Bytes data = TextLike(200000, 9);
  for (const ZlibSettings& settings : {ZlibSettings{9, 0, 0}, ZlibSettings{0, 0, 0}}) {
    const Bytes stream = ZlibDeflate(data, settings);
    std::vector<size_t> sizes;
    for (size_t size = 0; size < stream.size(); size += 997) sizes.push_back(size);
    for (size_t size = stream.size() > 40 ? stream.size() - 40 : 0; size < stream.size(); ++size) sizes.push_back(size);
    for (size_t size : sizes) {
      const Bytes cut(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(size));
      const Decoded decoded = Decode(cut);
      ASSERT_TRUE(IsDecoderResult(decoded.result)) << size;
      if (decoded.result != kInflateOk) {
        ASSERT_LE(decoded.output.size(), data.size()) << size;
        EXPECT_TRUE(std::equal(decoded.output.begin(), decoded.output.end(), data.begin())) << size;
      }
    }
  }
}

}  // namespace
}  // namespace inflate_test
