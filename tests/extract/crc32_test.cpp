// The CRC-32 against a bit-by-bit reference that shares nothing with the table.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <vector>

#include "extract/crc32.h"
#include "extract/crc32_clmul.h"

namespace {

uint32_t BitwiseCrc(uint32_t crc, const uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    crc ^= bytes[i];
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  return crc;
}

std::vector<uint8_t> RandomBytes(size_t n, unsigned seed) {
  std::mt19937 generator(seed);
  std::vector<uint8_t> out(n);
  for (auto& b : out) b = static_cast<uint8_t>(generator());
  return out;
}

TEST(Crc32, StandardCheckValues) {
  const uint8_t abc[] = {'a', 'b', 'c'};
  EXPECT_EQ(~Crc32Update(0xFFFFFFFFu, abc, 3), 0x352441C2u);
  const char* nine = "123456789";
  EXPECT_EQ(~Crc32Update(0xFFFFFFFFu, reinterpret_cast<const uint8_t*>(nine), 9), 0xCBF43926u);
}

TEST(Crc32, ZeroBytesLeaveTheRegisterAlone) {
  const uint8_t unused = 0x55;
  for (uint32_t start : {0xFFFFFFFFu, 0u, 0x12345678u}) EXPECT_EQ(Crc32Update(start, &unused, 0), start);
}

// Counts around the eight-byte pass: 7 is the tail alone, 8 one pass alone, then mixtures.
TEST(Crc32, EveryCountMatchesTheBitwiseReference) {
  const std::vector<uint8_t> data = RandomBytes(4096 + 13, 1);
  for (uint32_t count : {1u, 7u, 8u, 9u, 15u, 16u, 17u, 63u, 64u, 65u, 4096u + 13u}) {
    SCOPED_TRACE(count);
    EXPECT_EQ(Crc32Update(0xFFFFFFFFu, data.data(), count), BitwiseCrc(0xFFFFFFFFu, data.data(), count));
  }
}

TEST(Crc32, ByteStepMatchesTheReferenceForEveryValue) {
  for (int b = 0; b < 256; ++b) {
    const uint8_t byte = static_cast<uint8_t>(b);
    for (uint32_t crc : {0xFFFFFFFFu, 0u, 0xA5A5A5A5u}) {
      ASSERT_EQ(Crc32Byte(byte, crc), BitwiseCrc(crc, &byte, 1)) << b;
    }
  }
}

// The engine feeds the CRC in pieces of whatever size the decoder hands out, from any start
// value: splitting anywhere, also off the eight-byte grid, must not change the result.
TEST(Crc32, PiecewiseUpdatesChainLikeOneCall) {
  const std::vector<uint8_t> data = RandomBytes(100003, 2);
  const uint32_t whole = BitwiseCrc(0x0BADF00Du, data.data(), data.size());
  std::mt19937 generator(3);
  size_t at = 0;
  uint32_t crc = 0x0BADF00Du;
  while (at < data.size()) {
    size_t piece = std::min<size_t>(generator() % 100, data.size() - at);
    crc = Crc32Update(crc, data.data() + at, static_cast<uint32_t>(piece));
    at += piece;
  }
  EXPECT_EQ(crc, whole);
}

}  // namespace

namespace {

uint32_t ByteTableCrc(uint32_t crc, const uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) crc = Crc32Byte(bytes[i], crc);
  return crc;
}

}  // namespace

// The wide paths (the folding ones only where the processor has them) and the dispatcher against the
// byte-table definition: every length from 0 to 1024 at every alignment, from several registers.
TEST(Crc32, WidePathsMatchTheByteTableAtEveryLengthAndAlignment) {
  const std::vector<uint8_t> data = RandomBytes(1024 + 16, 12);
  const bool clmul = Crc32ClmulAvailable();
  const bool wide = Crc32WideAvailable();
  if (!clmul) std::printf("this processor has no carry-less multiply: only the table path is checked\n");
  if (clmul && !wide) std::printf("this processor has no 256-bit carry-less multiply: that path is not checked\n");
  const uint32_t starts[] = {0xFFFFFFFFu, 0u, 0x9ABCDEF0u};
  for (uint32_t length = 0; length <= 1024; ++length) {
    for (uint32_t alignment = 0; alignment < 16; ++alignment) {
      const uint8_t* bytes = data.data() + alignment;
      const uint32_t start = starts[(length + alignment) % 3];
      const uint32_t expected = ByteTableCrc(start, bytes, length);
      ASSERT_EQ(Crc32UpdateTables(start, bytes, length), expected) << length << " at " << alignment;
      ASSERT_EQ(Crc32Update(start, bytes, length), expected) << length << " at " << alignment;
      if (clmul && length >= 64) {
        ASSERT_EQ(Crc32UpdateClmul(start, bytes, length), expected) << length << " at " << alignment;
      }
      if (wide && length >= 128) {
        ASSERT_EQ(Crc32UpdateWide(start, bytes, length), expected) << length << " at " << alignment;
      }
    }
  }
  // Long runs fold many times.
  const std::vector<uint8_t> large = RandomBytes(1 << 20, 13);
  EXPECT_EQ(Crc32Update(0xFFFFFFFFu, large.data(), static_cast<uint32_t>(large.size())),
            BitwiseCrc(0xFFFFFFFFu, large.data(), large.size()));
}
