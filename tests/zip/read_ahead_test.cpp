// The archive's read-ahead stream: whatever the pattern of seeks and reads, each read returns
// the file's own bytes at the stream's position, and the end of the file shows as a short read.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "temp_dir.h"
#include "zip/read_ahead.h"

namespace {

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  std::mt19937 random(11);
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

struct Step {
  const char* what;
  int origin;
  int64_t distance;
  uint32_t count;
};

TEST(ReadAhead, ReadsMatchTheFileWhereverTheyStart) {
  TempDir dir;
  const std::string bytes = Pattern(3 * kReadAheadSize + 1234);
  dir.write("a.bin", bytes);
  const int64_t size = static_cast<int64_t>(bytes.size());
  const Step steps[] = {
      {"small read at the start", kSeekStart, 0, 30},
      {"forward inside the window", kSeekCurrent, 100, 500},
      {"back inside the window", kSeekStart, 10, 40},
      {"a read that crosses the window's end", kSeekStart, kReadAheadSize - 7, 20},
      {"back before the window", kSeekStart, 3, 64},
      {"a large read goes around the window", kSeekStart, 5, kReadAheadSize},
      {"a read right after the large one", kSeekCurrent, 0, 100},
      {"far forward", kSeekStart, 2 * kReadAheadSize + 99, 4000},
      {"relative from the end", kSeekEnd, -10, 10},
      {"a read past the end is short", kSeekEnd, -5, 100},
      {"at the end nothing is read", kSeekEnd, 0, 10},
      {"before the start is refused; the position stays", kSeekCurrent, -2 * size, 10},
  };
  ReadAheadStream stream(dir.file("a.bin").c_str());
  ASSERT_TRUE(stream.isOpen());
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    const uint64_t before = stream.position();
    const uint64_t at = stream.seek(step.distance, step.origin);
    int64_t expected = step.origin == kSeekStart     ? step.distance
                       : step.origin == kSeekCurrent ? static_cast<int64_t>(before) + step.distance
                                                     : size + step.distance;
    if (expected < 0) expected = static_cast<int64_t>(before);
    ASSERT_EQ(at, static_cast<uint64_t>(expected));
    std::vector<uint8_t> got(step.count);
    uint32_t n = 0;
    ASSERT_EQ(stream.read(got.data(), step.count, &n), 0);
    const uint64_t left = at < bytes.size() ? bytes.size() - at : 0;
    ASSERT_EQ(n, left < step.count ? left : step.count);
    EXPECT_EQ(std::memcmp(got.data(), bytes.data() + at, n), 0);
    EXPECT_EQ(stream.position(), at + n);
  }
}

}  // namespace
