// Entries whose data share bytes with another entry or with the central directory: the shape
// of an archive built to expand far beyond its size. Each fixture moves one field of a good
// archive.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "archive_fixture.h"
#include "run_fixture.h"
#include "temp_dir.h"
#include "zip/overlaps.h"
#include "zip_writer.h"

namespace {

std::string MessageOf(const Status& status) {
  char text[600];
  status.messageText(text, sizeof text);
  return text;
}

ZipEntryPlan Entry(const std::string& name, const std::string& data) {
  ZipEntryPlan e;
  e.name = name;
  e.data = data;
  return e;
}

// Offset of entry i's central header, for archives without extra fields or comments.
uint32_t CentralHeaderAt(const ZipLayout& layout, const std::vector<ZipEntryPlan>& entries, size_t i) {
  uint32_t at = layout.directoryOffset;
  for (size_t k = 0; k < i; ++k) at += kCentralHeaderSize + static_cast<uint32_t>(entries[k].name.size());
  return at;
}

void Put32(std::string* bytes, uint32_t at, uint32_t value) { bytes->replace(at, 4, Le32(value)); }

TEST(EntryOverlaps, GoodArchivesPass) {
  ZipEntryPlan described = Entry("b.txt", "described");
  described.flags = kFlagDataDescriptor;
  const std::vector<std::vector<ZipEntryPlan>> archives = {
      {Entry("a.txt", "alpha"), described, Entry("empty", "")},
      {Entry("dir/", ""), Entry("dir/x", "x")},
  };
  for (const auto& entries : archives) {
    TempDir dir;
    Status status;
    auto loaded = LoadArchive(dir.file("a.zip"), BuildZip(entries, "STUB"), &status);
    ASSERT_NE(loaded, nullptr) << MessageOf(status);
    EXPECT_TRUE(CheckEntryOverlaps(loaded->archive()).ok()) << entries[0].name;
  }
}

// Sizes that disagree are the extraction's to report (warning 5, a CRC failure): the data owns
// the smaller, as peers read it; data past the end of the file ends early (message 153).
TEST(EntryOverlaps, DisagreeingSizesAndShortFilesAreLeftToTheExtraction) {
  const std::vector<ZipEntryPlan> entries = {Entry("a.txt", "alpha"), Entry("b.txt", "beta")};
  ZipLayout layout;
  const std::string good = BuildZip(entries, "", "", &layout);
  std::string largerInTheDirectory = good;
  Put32(&largerInTheDirectory, CentralHeaderAt(layout, entries, 1) + kCentralCompressedSize, 400);
  std::string pastTheEnd = good;
  Put32(&pastTheEnd, CentralHeaderAt(layout, entries, 1) + kCentralCompressedSize, 0x7FFFFFFF);
  pastTheEnd.replace(layout.localOffsets[1] + kLocalCompressedSize, 4, Le32(0x7FFFFFFF));
  for (const std::string& bytes : {largerInTheDirectory, pastTheEnd}) {
    TempDir dir;
    Status status;
    auto loaded = LoadArchive(dir.file("a.zip"), bytes, &status);
    ASSERT_NE(loaded, nullptr) << MessageOf(status);
    EXPECT_TRUE(CheckEntryOverlaps(loaded->archive()).ok()) << MessageOf(CheckEntryOverlaps(loaded->archive()));
  }
}

TEST(EntryOverlaps, SharedBytesAreRefusedWithTheNames) {
  const std::vector<ZipEntryPlan> entries = {Entry("a.txt", "alpha"), Entry("b.txt", "beta"),
                                             Entry("c.txt", "gamma")};
  ZipLayout layout;
  const std::string good = BuildZip(entries, "", "", &layout);
  struct Case {
    const char* label;
    std::function<void(std::string*)> change;
    const char* shown;
  } cases[] = {
      {"two headers name one local entry (full overlap)",
       [&](std::string* b) {
         Put32(b, CentralHeaderAt(layout, entries, 2) + kCentralLocalHeaderOffset,
               layout.localOffsets[1]);
       },
       "Erro na leitura do arquivo .ZIP : dados de b.txt sobrepostos aos de c.txt"},
      {"data runs one byte into the next local header",
       [&](std::string* b) {
         Put32(b, CentralHeaderAt(layout, entries, 0) + kCentralCompressedSize, 6);
         b->replace(layout.localOffsets[0] + kLocalCompressedSize, 4, Le32(6));
       },
       "Erro na leitura do arquivo .ZIP : dados de a.txt sobrepostos aos de b.txt"},
      {"data runs into the central directory",
       [&](std::string* b) {
         Put32(b, CentralHeaderAt(layout, entries, 2) + kCentralCompressedSize, 6);
         b->replace(layout.localOffsets[2] + kLocalCompressedSize, 4, Le32(6));
       },
       "Erro na leitura do arquivo .ZIP : dados de c.txt sobrepostos ao diretório central"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::string bytes = good;
    c.change(&bytes);
    TempDir dir;
    Status status;
    auto loaded = LoadArchive(dir.file("a.zip"), bytes, &status);
    ASSERT_NE(loaded, nullptr) << MessageOf(status);
    Status found = CheckEntryOverlaps(loaded->archive());
    EXPECT_EQ(found.kind(), StatusKind::kArchiveError);
    EXPECT_EQ(found.exitCode(), 299);
    EXPECT_EQ(MessageOf(found), c.shown);
  }
}

// The check is vespa-console's: the engine itself (the stub's runs over its own archive) reads
// such an archive as the system always did, entry by entry.
TEST(EntryOverlaps, TheEngineAloneStillReadsSharedData) {
  const std::vector<ZipEntryPlan> entries = {Entry("a.txt", "same"), Entry("b.txt", "same")};
  ZipLayout layout;
  std::string bytes = BuildZip(entries, "", "", &layout);
  Put32(&bytes, CentralHeaderAt(layout, entries, 1) + kCentralLocalHeaderOffset, layout.localOffsets[0]);
  TempDir dir;
  TestSession test;
  Status status;
  EXPECT_EQ(RunOn(test, dir.file("a.zip"), bytes, {"-TEST"}, &status), 2);
  EXPECT_TRUE(status.ok());
}

}  // namespace
