// Positioning on an entry's data: the local header's signature and CRC, its extra field; and the
// reader's status, which keeps the first failure for every read after it.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "archive_fixture.h"
#include "temp_dir.h"
#include "zip_writer.h"

namespace {

std::string MessageOf(const Status& status) {
  char text[600];
  status.messageText(text, sizeof text);
  return text;
}

ZipEntryPlan Entry() {
  ZipEntryPlan e;
  e.name = "data.bin";
  e.data = "0123456789";
  e.localExtra = Le16(0x1234) + Le16(2) + "xy";
  return e;
}

TEST(LocalHeader, StreamStandsOnTheEntryData) {
  TempDir dir;
  ZipLayout layout;
  Status status;
  auto loaded = LoadArchive(dir.file("a.zip"), BuildZip({Entry()}, "PREFIX", "", &layout), &status);
  ASSERT_NE(loaded, nullptr) << MessageOf(status);
  ArchiveState& archive = loaded->archive();
  uint32_t at = archive.seekEntryData(archive.entries()[0]);
  EXPECT_EQ(at, layout.localOffsets[0] + kLocalHeaderSize + 8 + 6);
  ASSERT_EQ(archive.localExtraLength(), 6);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(archive.localExtra()), 6),
            Le16(0x1234) + Le16(2) + "xy");
  char data[10];
  ASSERT_TRUE(archive.readArchiveExact(data, 10));
  EXPECT_EQ(std::string(data, 10), "0123456789");
  EXPECT_FALSE(archive.failed());
}

TEST(LocalHeader, DataDescriptorRelaxesTheCrcCheck) {
  ZipEntryPlan e = Entry();
  e.flags = kFlagDataDescriptor;
  e.overrideLocalCrc = true;
  e.localCrc = 0;
  TempDir dir;
  Status status;
  auto loaded = LoadArchive(dir.file("a.zip"), BuildZip({e}), &status);
  ASSERT_NE(loaded, nullptr) << MessageOf(status);
  ArchiveState& archive = loaded->archive();
  EXPECT_NE(archive.seekEntryData(archive.entries()[0]), 0u);
  EXPECT_TRUE(archive.status().ok()) << MessageOf(archive.status());
}

TEST(LocalHeader, CorruptOrMissing) {
  struct Case {
    const char* what;
    std::function<std::string()> bytes;
    int number;
    const char* message;
  } cases[] = {
      {"CRC differs from the directory's",
       [] {
         ZipEntryPlan e = Entry();
         e.overrideLocalCrc = true;
         e.localCrc = 1;
         return BuildZip({e});
       },
       kArchiveBadLocalHeader, "Cabeçalho local corrompido"},
      {"no signature",
       [] {
         ZipLayout layout;
         std::string zip = BuildZip({Entry()}, "", "", &layout);
         zip[layout.localOffsets[0]] = 'Q';
         return zip;
       },
       kArchiveBadLocalHeader, "local corrompido"},
      {"fewer than 30 bytes before the end of the file",
       [] {
         ZipLayout layout;
         std::string zip = BuildZip({Entry()}, "", "", &layout);
         zip.replace(layout.directoryOffset + kCentralLocalHeaderOffset, 4,
                     Le32(static_cast<uint32_t>(zip.size() - 10)));
         return zip;
       },
       kArchiveEndedEarly, "Final prematuro"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    Status status;
    auto loaded = LoadArchive(dir.file("a.zip"), c.bytes(), &status);
    ASSERT_NE(loaded, nullptr) << c.what << ": " << MessageOf(status);
    ArchiveState& archive = loaded->archive();
    EXPECT_EQ(archive.seekEntryData(archive.entries()[0]), 0u) << c.what;
    EXPECT_EQ(archive.status().kind(), StatusKind::kArchiveError) << c.what;
    EXPECT_EQ(archive.status().number(), c.number) << c.what;
    EXPECT_EQ(archive.status().exitCode(), c.number + 149) << c.what;
    EXPECT_NE(MessageOf(archive.status()).find(c.message), std::string::npos)
        << c.what << ": " << MessageOf(archive.status());
    EXPECT_EQ(archive.localExtraLength(), 0) << c.what;
    EXPECT_TRUE(loaded->front.messages.empty()) << c.what;
  }
}

// Three entries: a sound one; one whose sizes claim more data than the file holds, as in a
// truncated archive; one whose local header is not where the directory says.
class StickyStatus : public ::testing::Test {
 protected:
  void SetUp() override {
    ZipEntryPlan sound = Entry();
    ZipEntryPlan cut;
    cut.name = "cut.bin";
    cut.data = "abcdef";
    cut.overrideCompressedSize = true;
    cut.compressedSize = 100000;
    ZipEntryPlan moved;
    moved.name = "moved.txt";
    moved.data = "moved";
    ZipLayout layout;
    std::string zip = BuildZip({sound, cut, moved}, "", "", &layout);
    // The third central header: after the first two, each 46 bytes + name + local extra 0.
    size_t third = layout.directoryOffset + 2 * kCentralHeaderSize + sound.name.size() +
                   cut.name.size();
    zip.replace(third + kCentralLocalHeaderOffset, 4, Le32(layout.localOffsets[2] + 1));
    Status status;
    loaded_ = LoadArchive(dir_.file("s.zip"), zip, &status);
    ASSERT_NE(loaded_, nullptr) << MessageOf(status);
    ASSERT_EQ(archive().entryCount, 3u);
    ASSERT_EQ(std::string(entry(2).name, entry(2).nameLength), "moved.txt");
  }

  ArchiveState& archive() { return loaded_->archive(); }
  const CentralHeader& entry(int i) { return archive().entries()[i]; }

  // Every way of reading after the first failure: each would succeed on a sound archive, and
  // each must get nothing and leave the failure as it was.
  void ExpectLaterReadsGetNothing(int number) {
    char buffer[8] = "#######";
    archive().stream->seek(0, kSeekStart);
    EXPECT_EQ(archive().readArchive(buffer, 4), 0u);
    EXPECT_STREQ(buffer, "#######");
    EXPECT_FALSE(archive().readArchiveExact(buffer, 4));
    EXPECT_EQ(archive().seekEntryData(entry(0)), 0u);
    EXPECT_EQ(archive().localExtraLength(), 0);
    EXPECT_EQ(archive().seekEntryData(entry(2)), 0u);  // would be a bad local header
    archive().stream->seek(-3, kSeekEnd);
    EXPECT_FALSE(archive().readArchiveExact(buffer, 4));  // would end early
    EXPECT_EQ(archive().readDirectory().number(), number);
    EXPECT_EQ(archive().status().kind(), StatusKind::kArchiveError);
    EXPECT_EQ(archive().status().number(), number);
    EXPECT_TRUE(loaded_->front.messages.empty());
  }

  TempDir dir_;
  std::unique_ptr<LoadedArchive> loaded_;
};

TEST_F(StickyStatus, SoundEntryReadsWhole) {
  // The fixture itself: before any failure the sound entry reads.
  ASSERT_NE(archive().seekEntryData(entry(0)), 0u);
  char data[10];
  ASSERT_TRUE(archive().readArchiveExact(data, 10));
  EXPECT_EQ(std::string(data, 10), "0123456789");
  EXPECT_TRUE(archive().status().ok());
}

TEST_F(StickyStatus, TruncatedDataIsTheFailureThatStays) {
  ASSERT_NE(archive().seekEntryData(entry(1)), 0u);
  std::vector<char> data(entry(1).compressedSize);
  EXPECT_FALSE(archive().readArchiveExact(data.data(), entry(1).compressedSize));
  EXPECT_EQ(archive().status().number(), kArchiveEndedEarly);
  ExpectLaterReadsGetNothing(kArchiveEndedEarly);
}

TEST_F(StickyStatus, MisplacedLocalHeaderIsTheFailureThatStays) {
  EXPECT_EQ(archive().seekEntryData(entry(2)), 0u);
  EXPECT_EQ(archive().status().number(), kArchiveBadLocalHeader);
  ExpectLaterReadsGetNothing(kArchiveBadLocalHeader);
}

}  // namespace
