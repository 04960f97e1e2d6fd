// ZIP64: the end record's saturated figures taken from the ZIP64 end record through its
// locator, an entry's saturated sizes and offset from its ZIP64 extra field; and the archives
// that cannot be read safely, refused before any entry with the reason named.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "archive_fixture.h"
#include "report/messages.h"
#include "run_fixture.h"
#include "temp_dir.h"
#include "zip_writer.h"

namespace {

std::string MessageOf(const Status& status) {
  char text[600];
  status.messageText(text, sizeof text);
  return text;
}

// Three entries; the second carries the ZIP64 fields asked for and needs version 4.5 for them.
std::vector<ZipEntryPlan> ThreeEntries(unsigned zip64Fields = kZip64Uncompressed |
                                                              kZip64Compressed | kZip64Offset) {
  std::vector<ZipEntryPlan> entries = {EntryOf("a.txt", "first", 0),
                                       EntryOf("b.txt", MixedBytes(3000, 7, 100, 60), 8),
                                       EntryOf("c.txt", "third", 0)};
  entries[1].zip64Fields = zip64Fields;
  if (zip64Fields) entries[1].versionNeeded = 45;
  return entries;
}

// Each saturated field alone, and all together, in the end record and in an entry: the
// archive loads whole, and a test run reads every entry with its true sizes.
TEST(Zip64, SaturatedFieldsAreReadFromTheZip64Records) {
  struct Case {
    const char* what;
    unsigned end;    // kEnd* saturated in the end record
    unsigned entry;  // kZip64* in the second entry
  } cases[] = {
      {"count", kEndCount, 0},
      {"directory size", kEndSize, 0},
      {"directory offset", kEndOffset, 0},
      {"uncompressed size", 0, kZip64Uncompressed},
      {"compressed size", 0, kZip64Compressed},
      {"local header offset", 0, kZip64Offset},
      {"everything", kEndCount | kEndSize | kEndOffset,
       kZip64Uncompressed | kZip64Compressed | kZip64Offset},
  };
  for (const Case& c : cases) {
    TempDir dir;
    TestSession test;
    Status status;
    int processed = RunOn(test, dir.file("a.zip"), BuildZip64(ThreeEntries(c.entry), c.end), {"-TEST"},
                          &status);
    EXPECT_EQ(processed, 3) << c.what << ": " << MessageOf(status);
    EXPECT_TRUE(status.ok()) << c.what;
    EXPECT_TRUE(test.front.warnings().empty()) << c.what;
    const ArchiveState& archive = test.session.archive;
    EXPECT_EQ(archive.zip64(), c.end != 0) << c.what;
    ASSERT_EQ(archive.entryCount, 3u) << c.what;
  }
}

// Version 4.5 is ZIP64's: read with a ZIP64 extra field, warned about without one (it then
// needs something else this program does not know), as any later version is.
TEST(Zip64, VersionFourFiveIsReadOnlyForZip64) {
  struct Case {
    const char* what;
    unsigned fields;
    uint16_t version;
    bool read;
  } cases[] = {
      {"4.5 with ZIP64", kZip64Uncompressed, 45, true},
      {"4.5 without ZIP64", 0, 45, false},
      {"4.6 with ZIP64", kZip64Uncompressed, 46, false},
  };
  for (const Case& c : cases) {
    std::vector<ZipEntryPlan> entries = ThreeEntries(c.fields);
    entries[1].versionNeeded = c.version;
    TempDir dir;
    TestSession test;
    Status status;
    int processed = RunOn(test, dir.file("a.zip"), BuildZip(entries), {"-TEST"}, &status);
    EXPECT_EQ(processed, c.read ? 3 : 2) << c.what;
    EXPECT_EQ(test.front.warnings(), c.read ? std::vector<int>{} : std::vector<int>{kWarnNeedsVersion})
        << c.what;
  }
}

// What cannot be read safely is refused at load, naming why: nothing is read or written.
TEST(Zip64, UnsafeFiguresAreRefusedBeforeAnyEntry) {
  const unsigned all = kEndCount | kEndSize | kEndOffset;
  ZipLayout layout;
  const std::string good = BuildZip64(ThreeEntries(), all, &layout);
  auto patched = [&](size_t at, const std::string& bytes) {
    std::string b = good;
    b.replace(at, bytes.size(), bytes);
    return b;
  };
  struct Case {
    const char* what;
    std::function<std::string()> bytes;
    int number;
    const char* detail;
  } cases[] = {
      {"saturated offset, no locator",
       [&] { return good.substr(0, layout.locatorOffset) + good.substr(layout.endOffset); },
       kArchiveNoDirectory, "registro final ZIP64 não encontrado"},
      {"locator a byte off",
       [&] { return patched(layout.locatorOffset + 8, Le64(layout.zip64EndOffset + 1)); },
       kArchiveNoDirectory, "o localizador ZIP64 não aponta para o registro final ZIP64"},
      {"locator past the end of the file",
       [&] { return patched(layout.locatorOffset + 8, Le64(uint64_t{1} << 40)); },
       kArchiveNoDirectory, "o localizador ZIP64 não aponta para o registro final ZIP64"},
      {"directory past the ZIP64 end record",
       [&] { return patched(layout.zip64EndOffset + 40, Le64(layout.directorySize + 100)); },
       kArchiveEndedEarly, "o diretório central passa do fim do arquivo"},
      {"directory offset past the end of the file",
       [&] { return patched(layout.zip64EndOffset + 48, Le64(uint64_t{5} << 32)); },
       kArchiveEndedEarly, "o diretório central passa do fim do arquivo"},
      {"more entries than the directory holds",
       [&] { return patched(layout.zip64EndOffset + 32, Le64(uint64_t{1} << 40)); },
       kArchiveReadError, "mais entradas do que cabem no diretório central"},
      {"fewer entries than the directory holds",
       [&] { return patched(layout.zip64EndOffset + 32, Le64(2)); },
       kArchiveReadError, "o diretório central tem 3 entradas e o registro final anuncia 2"},
      {"no entries counted while the directory holds three",
       [&] { return patched(layout.zip64EndOffset + 32, Le64(0)); },
       kArchiveReadError, "o diretório central tem 3 entradas e o registro final anuncia 0"},
      {"a ZIP64 set of disks",
       [&] { return patched(layout.locatorOffset + 16, Le32(3)); },
       kArchiveReadError, "conjunto de discos com ZIP64"},
      {"entry offset past the end of the file",
       [&] {
         std::vector<ZipEntryPlan> e = ThreeEntries(kZip64Offset);
         ZipLayout l;
         std::string b = BuildZip64(e, all, &l);
         // The second header follows the first (46 + 5 bytes); its ZIP64 extra holds the offset.
         b.replace(l.directoryOffset + 46 + 5 + 46 + 5 + 4, 8, Le64(uint64_t{1} << 33));
         return b;
       },
       kArchiveEndedEarly, "b.txt passa do fim do arquivo"},
      {"a ZIP64 extra shorter than its fields",
       [&] {
         std::vector<ZipEntryPlan> e = ThreeEntries();
         e[1].zip64Cut = 3;
         return BuildZip64(e, all);
       },
       kArchiveReadError, "campo extra ZIP64 curto demais em b.txt"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    TestSession test;
    Status status;
    int processed = RunOn(test, dir.file("a.zip"), c.bytes(), {"-EXTRACT", dir.path() + "/out/"}, &status);
    EXPECT_EQ(processed, -1) << c.what;
    EXPECT_EQ(status.kind(), StatusKind::kArchiveError) << c.what;
    EXPECT_EQ(status.number(), c.number) << c.what << ": " << MessageOf(status);
    EXPECT_NE(MessageOf(status).find(c.detail), std::string::npos) << c.what << ": " << MessageOf(status);
    EXPECT_TRUE(test.front.notifications.empty()) << c.what;
  }
}

}  // namespace
