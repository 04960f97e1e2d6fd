// Deflate64 data made by other programs: the external corpus, and archives 7-Zip makes at test time.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "inflate_harness.h"
#include "support/temp_dir.h"

namespace inflate_test {
namespace {

constexpr uint16_t kMethodDeflate64 = 9;
const std::string kCorpus = std::string(VESPA_CORPUS) + "/deflate64-rs";

// The corpus lies beside the project, not in it: a clone without it skips these cases.
class Deflate64Corpus : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::is_directory(kCorpus)) {
      GTEST_SKIP() << "the corpus of other projects' archives is missing: " << kCorpus;
    }
  }
};

TEST_F(Deflate64Corpus, EveryEntryOfTheReferenceArchiveDecodesToItsFile) {
  const std::vector<LocalEntry> entries = ReadLocalEntries(ReadFile(kCorpus + "/deflate64.zip"));
  int decoded64 = 0;
  for (const LocalEntry& entry : entries) {
    if (entry.method != kMethodDeflate64) continue;
    SCOPED_TRACE(entry.name);
    ++decoded64;
    for (uint32_t piece : {kInputSize, 1000u}) {
      DecodeOptions options;
      options.deflate64 = 1;
      options.piece = piece;
      const Decoded decoded = Decode(entry.data, options);
      ASSERT_EQ(decoded.result, kInflateOk);
      ASSERT_EQ(decoded.output.size(), entry.uncompressedSize);
      EXPECT_EQ(Crc32(decoded.output), entry.crc);
      const std::string original = kCorpus + "/folder/" + entry.name;
      if (FileExists(original)) {
        EXPECT_TRUE(decoded.output == ReadFile(original));
      }
    }
  }
  EXPECT_GT(decoded64, 0);
}

// A real-world archive that its donors cut down: the entries of the Editor/ tree at its start are
// whole and must decode (what follows them is debris of other records).
TEST_F(Deflate64Corpus, WholeEntriesOfTheCutArchiveDecode) {
  const std::vector<LocalEntry> entries =
      ReadLocalEntries(ReadFile(kCorpus + "/issue-13/unitwf-1.5.0.minimized.zip"));
  int checked = 0;
  bool sawLogo = false;
  for (const LocalEntry& entry : entries) {
    if (entry.name.rfind("Editor/", 0) != 0 || entry.method != kMethodDeflate64) continue;
    SCOPED_TRACE(entry.name);
    ASSERT_EQ(entry.data.size(), entry.compressedSize);
    DecodeOptions options;
    options.deflate64 = 1;
    const Decoded decoded = Decode(entry.data, options);
    ASSERT_EQ(decoded.result, kInflateOk);
    EXPECT_EQ(Crc32(decoded.output), entry.crc);
    if (entry.name.find("_1024.png") != std::string::npos && entry.name.find(".meta") == std::string::npos) {
      sawLogo = true;
      EXPECT_TRUE(decoded.output == ReadFile(kCorpus + "/issue-13/logo.png"));
    }
    ++checked;
  }
  EXPECT_GE(checked, 5);
  EXPECT_TRUE(sawLogo);
}

TEST_F(Deflate64Corpus, DamagedStreamGivesADecoderErrorNotACrash) {
  const Bytes stream = ReadFile(kCorpus + "/issue-23/raw_deflate64_index_out_of_bounds");
  for (int deflate64 : {1, 0}) {
    DecodeOptions options;
    options.deflate64 = deflate64;
    EXPECT_NE(Decode(stream, options).result, kInflateOk) << "deflate64 " << deflate64;
  }
}

// Entries whose data the archive does not hold in full: a decoder error or output that fails the
// CRC check, never a crash and never a hang.
TEST_F(Deflate64Corpus, CutEntriesEndInADataError) {
  for (const char* path : {"/issue-25/deflate64_not_enough_space.zip", "/issue-29/raw.zip"}) {
    SCOPED_TRACE(path);
    const std::vector<LocalEntry> entries = ReadLocalEntries(ReadFile(kCorpus + path));
    ASSERT_FALSE(entries.empty());
    const LocalEntry& entry = entries.front();
    ASSERT_EQ(entry.method, kMethodDeflate64);
    ASSERT_LT(entry.data.size(), entry.compressedSize);
    const Counted counted = DecodeCounting(entry.data, 1);
    EXPECT_TRUE(counted.result != kInflateOk || counted.crc != entry.crc || counted.size != entry.uncompressedSize)
        << counted.result << " " << counted.size;
  }
}

// Repeats 40000 and 60000 bytes apart, which only a 64 KB window reaches (distance symbols 30 and
// 31), and long runs.
Bytes LongRangeData() {
  std::mt19937 generator(64);
  auto random = [&](size_t n) {
    Bytes b(n);
    for (auto& x : b) x = static_cast<uint8_t>(generator());
    return b;
  };
  Bytes out;
  for (int round = 0; round < 3; ++round) {
    const Bytes a = random(40000);
    const Bytes b = random(60000);
    for (const Bytes* part : {&a, &a, &b, &b}) out.insert(out.end(), part->begin(), part->end());
    out.insert(out.end(), 100000 + round * 7, static_cast<uint8_t>(round));
    const Bytes c = random(3000);
    for (int i = 0; i < 30; ++i) out.insert(out.end(), c.begin(), c.end());
  }
  return out;
}

// Copies from 65513 to 65536 bytes back, right after short near copies and a few new bytes: the
// encoder makes far matches that read just ahead of the decoder's write position, next to near
// matches that the decoder copies in words past their end, all through the stream.
Bytes FarMatchData() {
  std::mt19937 generator(25);
  Bytes out(kWindowSize);
  for (auto& b : out) b = static_cast<uint8_t>(generator());
  auto copy = [&out](uint32_t distance, uint32_t length) {
    while (length--) out.push_back(out[out.size() - distance]);
  };
  const uint32_t far[] = {65536, 65535, 65530, 65520, 65513};
  while (out.size() < 2500000) {
    for (uint32_t n = 1 + generator() % 12; n > 0; --n) out.push_back(static_cast<uint8_t>(generator()));
    copy(8 + generator() % 33, 3 + generator() % 10);
    copy(far[generator() % 5], 4 + generator() % 30);
  }
  return out;
}

TEST(Deflate64Peer, ArchivesMadeBy7ZipDecode) {
  if (std::system("command -v 7z >/dev/null 2>&1") != 0) GTEST_SKIP() << "7z is not installed";
  TempDir dir;
  const struct {
    const char* name;
    Bytes data;
  } sources[] = {{"long-range", LongRangeData()}, {"far-matches", FarMatchData()}};
  for (const auto& source : sources) {
    const Bytes& data = source.data;
    dir.write("data.bin", std::string(data.begin(), data.end()));
    for (const char* level : {"-mx=9", "-mx=1"}) {
      SCOPED_TRACE(::testing::Message() << source.name << " " << level);
      const std::string zip = dir.file(std::string(source.name) + level + ".zip");
      const std::string command = "cd '" + dir.path() + "' && 7z a -tzip -mm=Deflate64 " + level + " '" + zip +
                                  "' data.bin >/dev/null 2>&1";
      ASSERT_EQ(std::system(command.c_str()), 0);
      const std::vector<LocalEntry> entries = ReadLocalEntries(ReadFile(zip));
      ASSERT_EQ(entries.size(), 1u);
      ASSERT_EQ(entries[0].method, kMethodDeflate64);
      for (uint32_t piece : {kInputSize, 4093u, 1000u, 3u}) {
        DecodeOptions options;
        options.deflate64 = 1;
        options.piece = piece;
        const Decoded decoded = Decode(entries[0].data, options);
        ASSERT_EQ(decoded.result, kInflateOk);
        ASSERT_TRUE(decoded.output == data);
      }
    }
  }
}

}  // namespace
}  // namespace inflate_test
