// Loading the central directory: pieces, headers on piece boundaries, structural faults, names.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include <zlib.h>

#include "archive_fixture.h"
#include "temp_dir.h"
#include "zip_writer.h"

namespace {

std::string EntryName(const CentralHeader& h) { return std::string(h.name, h.nameLength); }

std::string MessageOf(const Status& status) {
  char text[600];
  status.messageText(text, sizeof text);
  return text;
}

std::vector<ZipEntryPlan> ManyEntries(int count, size_t nameLength) {
  std::vector<ZipEntryPlan> entries;
  for (int i = 0; i < count; ++i) {
    ZipEntryPlan e;
    e.name = std::to_string(i);
    e.name += std::string(nameLength - e.name.size(), 'n');
    e.data = std::to_string(i);
    entries.push_back(e);
  }
  return entries;
}

TEST(Directory, LargeDirectoryLoadsInPiecesWithoutSplittingHeaders) {
  // 3000 headers of 46 + 57 bytes: about 309,000 bytes, several pieces, boundaries inside headers.
  auto entries = ManyEntries(3000, 57);
  TempDir dir;
  Status status;
  auto loaded = LoadArchive(dir.file("many.zip"), BuildZip(entries), &status);
  ASSERT_NE(loaded, nullptr) << MessageOf(status);
  ArchiveState& archive = loaded->archive();
  ASSERT_EQ(archive.entryCount, 3000u);
  for (int i = 0; i < 3000; ++i) {
    ASSERT_EQ(EntryName(archive.entries()[i]), entries[i].name) << i;
    ASSERT_EQ(archive.entries()[i].signature, kCentralHeaderSignature);
  }
}

TEST(Directory, HeaderLongerThanAPieceIsLoadedWhole) {
  // A header of 46 + 5 + 65000 + 9000 bytes cannot end any piece of 65,368 bytes; the entries
  // around it must still load, and the load must not loop.
  auto entries = ManyEntries(3, 5);
  entries[1].centralExtra = std::string(4, '\0') + std::string(64996, 'e');
  entries[1].centralExtra[0] = 0x55;  // an unknown extra-field id
  entries[1].centralExtra[2] = static_cast<char>(64996 & 0xFF);
  entries[1].centralExtra[3] = static_cast<char>(64996 >> 8);
  entries[1].comment = std::string(9000, 'k');
  TempDir dir;
  Status status;
  auto loaded = LoadArchive(dir.file("big.zip"), BuildZip(entries), &status);
  ASSERT_NE(loaded, nullptr) << MessageOf(status);
  ArchiveState& archive = loaded->archive();
  ASSERT_EQ(archive.entryCount, 3u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(EntryName(archive.entries()[i]), entries[i].name);
  EXPECT_EQ(archive.entries()[1].extraLength, 65000);
  EXPECT_EQ(archive.entries()[1].commentLength, 9000);
}

TEST(Directory, GarbageBetweenHeadersIsSkipped) {
  auto entries = ManyEntries(2, 4);
  ZipLayout layout;
  std::string zip = BuildZip(entries, "", "", &layout);
  // Move the second header back by 7 bytes of garbage and grow the directory size to match.
  uint32_t second = layout.directoryOffset + kCentralHeaderSize + 4;
  zip.insert(second, "garbage");
  uint32_t endOffset = layout.endOffset + 7;
  std::string size = Le32(layout.directorySize + 7);
  zip.replace(endOffset + kEndDirectorySize, 4, size);
  TempDir dir;
  Status status;
  auto loaded = LoadArchive(dir.file("g.zip"), zip, &status);
  ASSERT_NE(loaded, nullptr) << MessageOf(status);
  EXPECT_EQ(EntryName(loaded->archive().entries()[1]), entries[1].name);
}

TEST(Directory, EmptyArchiveLoadsNothing) {
  // As a writer makes it: the directory, of size 0, starts where the end record does.
  {
    TempDir dir;
    Status status;
    auto loaded = LoadArchive(dir.file("empty.zip"), BuildZip({}, "stub"), &status);
    ASSERT_NE(loaded, nullptr) << MessageOf(status);
    EXPECT_EQ(loaded->archive().entryCount, 0u);
  }
  // totalEntries 0: no pieces, nothing reported, even with a directory offset pointing nowhere.
  std::string end = Le32(0x06054B50) + Le16(0) + Le16(0) + Le16(0) + Le16(0) + Le32(0) +
                    Le32(12345) + Le16(0);
  TempDir dir;
  Status status;
  auto loaded = LoadArchive(dir.file("empty.zip"), "prefix" + end, &status);
  ASSERT_NE(loaded, nullptr) << MessageOf(status);
  EXPECT_EQ(loaded->archive().entryCount, 0u);
  EXPECT_FALSE(loaded->archive().failed());
  EXPECT_TRUE(loaded->front.messages.empty());
}

// One structural fault per fixture, each an archive error whose exit code is its number + 149.
struct Fault {
  const char* name;
  int number;
  const char* message;
  std::string (*make)();
};

std::string TwoEntries(ZipLayout* layout) { return BuildZip(ManyEntries(2, 4), "", "", layout); }

const Fault kFaults[] = {
    {"first_header_missing", kArchiveReadError, "Erro na leitura",
     [] {
       ZipLayout l;
       std::string z = TwoEntries(&l);
       z[l.directoryOffset] = 'X';
       return z;
     }},
    {"later_header_missing", kArchiveNoDirectory, "assinaturas de CE",
     [] {
       ZipLayout l;
       std::string z = TwoEntries(&l);
       z[l.directoryOffset + kCentralHeaderSize + 4] = 'X';
       return z;
     }},
    {"more_entries_announced_than_present", kArchiveNoDirectory, "assinaturas de CE",
     [] {
       ZipLayout l;
       std::string z = TwoEntries(&l);
       z.replace(l.endOffset + kEndTotalEntries, 2, Le16(3));
       return z;
     }},
    {"name_runs_past_directory", kArchiveNoDirectory, "assinaturas de CE",
     [] {
       ZipLayout l;
       std::string z = TwoEntries(&l);
       // The second header's name length reaches past the loaded directory.
       z.replace(l.directoryOffset + kCentralHeaderSize + 4 + kCentralNameLength, 2, Le16(60000));
       return z;
     }},
    {"directory_past_end_of_file", kArchiveReadError, "Erro na leitura",
     [] {
       ZipLayout l;
       std::string z = TwoEntries(&l);
       z.replace(l.endOffset + kEndDirectoryOffset, 4, Le32(0x7FFFFF00));
       return z;
     }},
    // An end record that counts fewer entries than the directory holds, none included: the
    // entries left over would be passed over in silence.
    {"end_record_counts_none", kArchiveReadError,
     "o diretório central tem 2 entradas e o registro final anuncia 0",
     [] {
       ZipLayout l;
       std::string z = TwoEntries(&l);
       z.replace(l.endOffset + kEndTotalEntries, 2, Le16(0));
       return z;
     }},
    {"end_record_counts_none_and_no_size", kArchiveReadError,
     "o diretório central tem 2 entradas e o registro final anuncia 0",
     [] {
       ZipLayout l;
       std::string z = TwoEntries(&l);
       z.replace(l.endOffset + kEndTotalEntries, 2, Le16(0));
       z.replace(l.endOffset + kEndDirectorySize, 4, Le32(0));
       return z;
     }},
    {"end_record_counts_one", kArchiveReadError,
     "o diretório central tem 2 entradas e o registro final anuncia 1",
     [] {
       ZipLayout l;
       std::string z = TwoEntries(&l);
       z.replace(l.endOffset + kEndTotalEntries, 2, Le16(1));
       return z;
     }},
    {"directory_size_past_end_of_file", kArchiveEndedEarly, "Final prematuro",
     [] {
       ZipLayout l;
       std::string z = TwoEntries(&l);
       z.replace(l.endOffset + kEndDirectorySize, 4, Le32(200000));
       return z;
     }},
};

class DirectoryFault : public ::testing::TestWithParam<Fault> {};

TEST_P(DirectoryFault, ComesBackAsItsArchiveError) {
  TempDir dir;
  LoadedArchive loaded;
  Status status = LoadArchive(loaded.session, dir.file("f.zip"), GetParam().make());
  EXPECT_EQ(status.kind(), StatusKind::kArchiveError);
  EXPECT_EQ(status.number(), GetParam().number);
  EXPECT_EQ(status.exitCode(), GetParam().number + 149);
  EXPECT_NE(MessageOf(status).find(GetParam().message), std::string::npos) << MessageOf(status);
  // Nothing is shown until the front end shows the status; no half-loaded entry list remains.
  EXPECT_TRUE(loaded.front.messages.empty());
  EXPECT_EQ(loaded.archive().entries(), nullptr);
  // The archive keeps the failure: later reads get nothing and do not replace it.
  EXPECT_EQ(loaded.archive().status().number(), GetParam().number);
  char byte = '#';
  if (loaded.archive().stream) loaded.archive().stream->seek(0, kSeekStart);
  EXPECT_EQ(loaded.archive().readArchive(&byte, 1), 0u);
  EXPECT_EQ(byte, '#');
  EXPECT_EQ(loaded.archive().readDirectory().number(), GetParam().number);
}

INSTANTIATE_TEST_SUITE_P(Faults, DirectoryFault, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(info.param.name); });

struct NameCase {
  const char* what;
  std::string stored;
  uint16_t flags;
  std::string expected;  // code page 1252
};

TEST(Directory, NamesAreKeptInUtf8) {
  const NameCase cases[] = {
      {"OEM name", "relat\xA2rio.doc", 0, "relat\xC3\xB3rio.doc"},
      // Each byte its own character: no two names become one.
      {"OEM name beyond 1252", "\xE1\xE2.txt", 0, "\xC3\x9F\xCE\x93.txt"},
      {"OEM box drawing", "caixa\xB0.txt", 0, "caixa\xE2\x96\x91.txt"},
      {"UTF-8 name", "relat\xC3\xB3rio.doc", kFlagUtf8Name, "relat\xC3\xB3rio.doc"},
      {"UTF-8 without an ANSI form", "a\xE2\x82\xAC\xE2\x98\x83.txt", kFlagUtf8Name,
       "a\xE2\x82\xAC\xE2\x98\x83.txt"},
      {"four-byte UTF-8", "\xF0\x9F\x98\x80.txt", kFlagUtf8Name, "\xF0\x9F\x98\x80.txt"},
      // Flagged but not UTF-8: what has a 1252 form keeps it, a stray byte becomes '_'.
      {"truncated UTF-8", "b\xC3", kFlagUtf8Name, "b_"},
      {"1252 bytes flagged UTF-8", "caf\xE9.txt", kFlagUtf8Name, "caf_.txt"},
      {"plain ASCII", "dir/file.txt", 0, "dir/file.txt"},
  };
  for (const NameCase& c : cases) {
    ZipEntryPlan e;
    e.name = c.stored;
    e.flags = c.flags;
    e.data = "x";
    // An extra field behind the name must stay intact when the name shrinks.
    e.centralExtra = Le16(0x7777) + Le16(3) + "abc";
    e.comment = "note";
    TempDir dir;
    Status status;
    auto loaded = LoadArchive(dir.file("n.zip"), BuildZip({e}), &status);
    ASSERT_NE(loaded, nullptr) << c.what << ": " << MessageOf(status);
    const CentralHeader& h = loaded->archive().entries()[0];
    EXPECT_EQ(EntryName(h), c.expected) << c.what;
    ASSERT_EQ(h.extraLength, 7) << c.what;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(h.extra), 7), e.centralExtra) << c.what;
    ASSERT_EQ(h.commentLength, 4) << c.what;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(h.comment), 4), "note") << c.what;
  }
}

// A name without the flag or a Unicode path field is in the OEM code page, but for a Unix
// maker's name that is well-formed UTF-8: Unix archivers store the file system's bytes.
TEST(Directory, NamesWithoutAFlagAreReadByTheirMakersHost) {
  const std::string cyrillic = "\xD0\xB0.txt";             // "а.txt" in UTF-8
  const std::string asOem = "\xE2\x95\xA8\xE2\x96\x91.txt";  // the same bytes in code page 437
  const std::string staleField = Le16(0x7075) + Le16(7) + "\x01" + Le32(0) + "ab";
  struct Row {
    const char* what;
    uint16_t madeBy;
    std::string stored;
    std::string extra;
    std::string expected;
  } rows[] = {
      {"Unix, UTF-8", 0x031E, cyrillic, "", cyrillic},
      {"Unix, UTF-8 in a folder", 0x0314, "d\xC3\xADr/\xE6\x97\xA5.txt", "", "d\xC3\xADr/\xE6\x97\xA5.txt"},
      {"Unix, not UTF-8", 0x031E, "caixa\xB0.txt", "", "caixa\xE2\x96\x91.txt"},
      {"Unix, a Unicode path field of another name", 0x031E, cyrillic, staleField, asOem},
      {"DOS", 0x0014, cyrillic, "", asOem},
      {"NTFS", 0x0A14, cyrillic, "", asOem},
      {"OS X", 0x1314, cyrillic, "", asOem},
  };
  for (const Row& row : rows) {
    ZipEntryPlan e;
    e.name = row.stored;
    e.versionMadeBy = row.madeBy;
    e.centralExtra = row.extra;
    e.data = "x";
    TempDir dir;
    Status status;
    auto loaded = LoadArchive(dir.file("h.zip"), BuildZip({e}), &status);
    ASSERT_NE(loaded, nullptr) << row.what << ": " << MessageOf(status);
    EXPECT_EQ(EntryName(loaded->archive().entries()[0]), row.expected) << row.what;
  }
}

TEST(Directory, AUnicodePathFieldGivesTheNameWhenItsCrcMatchesTheStoredName) {
  // Stored in the OEM code page as "caf\x82.txt", which is "caf\xE9.txt" in 1252 too: the field
  // must win only where it says something else and its CRC-32 is that of the stored bytes.
  const std::string stored = "cafe.txt";
  const uint32_t storedCrc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(stored.data()),
                                                          static_cast<uInt>(stored.size())));
  auto field = [](uint8_t version, uint32_t crc, const std::string& utf8) {
    return Le16(0x7075) + Le16(static_cast<uint16_t>(5 + utf8.size())) +
           std::string(1, static_cast<char>(version)) + Le32(crc) + utf8;
  };
  struct Row {
    const char* what;
    std::string extra;
    std::string expected;
  } rows[] = {
      {"matching field", field(1, storedCrc, "caf\xC3\xA9.txt"), "caf\xC3\xA9.txt"},
      {"beyond 1252", field(1, storedCrc, "\xD0\x96.txt"), "\xD0\x96.txt"},
      {"behind another field", Le16(0x7777) + Le16(2) + "ab" + field(1, storedCrc, "s\xC3\xB3.txt"),
       "s\xC3\xB3.txt"},
      {"not UTF-8", field(1, storedCrc, "caf\xE9.txt"), "cafe.txt"},
      {"CRC of another name", field(1, storedCrc ^ 1, "caf\xC3\xA9.txt"), "cafe.txt"},
      {"unknown version", field(2, storedCrc, "caf\xC3\xA9.txt"), "cafe.txt"},
      {"field cut by the extra area", field(1, storedCrc, "caf\xC3\xA9.txt").substr(0, 12), "cafe.txt"},
      {"longer than the stored name", field(1, storedCrc, "caf\xC3\xA9-longo.txt"),
       "caf\xC3\xA9-longo.txt"},
  };
  for (const Row& row : rows) {
    ZipEntryPlan e;
    e.name = stored;
    e.data = "x";
    e.centralExtra = row.extra;
    TempDir dir;
    Status status;
    auto loaded = LoadArchive(dir.file("u.zip"), BuildZip({e}), &status);
    ASSERT_NE(loaded, nullptr) << row.what << ": " << MessageOf(status);
    EXPECT_EQ(EntryName(loaded->archive().entries()[0]), row.expected) << row.what;
  }
}

}  // namespace
