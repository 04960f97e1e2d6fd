// The builder's spanned sets: disk sizes as given, the disks' layout and labels, a set the
// engine reads back byte for byte from a removable drive, and the sets it refuses to make.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/session.h"
#include "run_fixture.h"
#include "spanned_disks.h"
#include "spanned_set.h"
#include "temp_dir.h"
#include "zip/byte_reader.h"
#include "zip/records.h"
#include "zip_writer.h"

namespace {

const std::string kMarker = Le32(kSpanningMarker);

std::string FakeStub(size_t size) {
  std::string stub = "MZ";
  while (stub.size() < size) stub.push_back(static_cast<char>('a' + stub.size() % 26));
  return stub;
}

std::string Pattern(size_t size, unsigned seed) { return MixedBytes(size, seed, 40, 25); }

std::vector<ZipEntryPlan> Entries() {
  ZipEntryPlan notes = EntryOf("docs/notas.txt", Pattern(2500, 3), 8);
  notes.comment = "comentario da entrada";
  return {EntryOf("leia-me.txt", Pattern(4000, 1), 0), notes, EntryOf("dados.bin", Pattern(9000, 2), 8)};
}

struct Built {
  bool ok = false;
  std::string error;
  std::vector<SpannedDisk> disks;
  std::vector<std::string> bytes;  // each disk's file
};

Built BuildSet(const TempDir& dir, const std::string& archive, const std::string& stub,
               uint64_t diskSize) {
  dir.write("in.zip", archive);
  dir.write("stub.exe", stub);
  Built built;
  SpanRequest request{dir.file("set/setup.exe"), dir.file("stub.exe"), dir.file("in.zip"), diskSize};
  built.ok = BuildSpannedSfx(request, &built.disks, &built.error);
  for (const SpannedDisk& d : built.disks) {
    built.bytes.push_back(dir.read(d.path.substr(dir.path().size() + 1)));
  }
  return built;
}

// Reads the set from a removable drive, starting from disk 1 as a user runs it, and extracts
// every entry into out/.
void ExpectReadsBack(const std::vector<std::string>& disks, const std::vector<ZipEntryPlan>& entries,
                     const TempDir& dir, const char* firstPrompt = "last disk") {
  TempDir out;
  TestSession test;
  FakeDrive drive(dir.file("drive.exe"), disks);
  test.session.archive.setDrive(&drive);
  test.callbacks.onDisk = [&](int disk) {
    drive.insert(disk ? disk : static_cast<int>(disks.size()));
    return kKeyGoOn;
  };
  drive.insert(1);
  Status status = test.session.open(dir.file("drive.exe").c_str());
  ASSERT_TRUE(status.ok()) << status.number();
  if (firstPrompt) {
    ASSERT_FALSE(test.callbacks.asked.empty());
    EXPECT_EQ(test.callbacks.asked.front(), firstPrompt);
  } else {
    EXPECT_TRUE(test.callbacks.asked.empty());
  }
  int processed = RunAgain(test, {"-EXTRACT", "-DIRECTORIES", out.path() + "/"}, &status);
  ASSERT_TRUE(status.ok()) << status.number();
  EXPECT_EQ(processed, static_cast<int>(entries.size()));
  for (const ZipEntryPlan& e : entries) EXPECT_TRUE(out.read(e.name) == e.data) << e.name;
}

TEST(DiskSize, BytesKilobytesAndFloppySizes) {
  const struct {
    const char* text;
    uint64_t expected;  // 0: refused
  } cases[] = {
      {"1440k", 1474560}, {"1.44m", 1474560}, {"1474560", 1474560}, {"720K", 737280},
      {"1.2M", 1228800},  {"100", 100},       {"2.5k", 2560},       {"4194303k", 4294966272},
      {"", 0},            {"k", 0},           {"1.5", 0},           {"12x", 0},
      {"-5", 0},          {"0", 0},           {"0.0001k", 0},       {"4194304k", 0},
      {"1.2.3m", 0},      {"1 k", 0},         {"99999999999999999999", 0},
  };
  for (const auto& c : cases) {
    uint64_t size = 0;
    std::string error;
    bool ok = ParseDiskSize(c.text, &size, &error);
    EXPECT_EQ(ok, c.expected != 0) << '"' << c.text << "\" " << error;
    if (ok) {
      EXPECT_EQ(size, c.expected) << c.text;
    } else {
      EXPECT_NE(error.find(c.text), std::string::npos) << error;
    }
  }
}

TEST(SpannedSet, DisksHoldWholeRecordsAndReadBack) {
  TempDir dir;
  const std::vector<ZipEntryPlan> entries = Entries();
  const std::string stub = FakeStub(5001);
  const uint64_t size = 6000;
  Built built = BuildSet(dir, BuildZip(entries, "", "comentario do pacote"), stub, size);
  ASSERT_TRUE(built.ok) << built.error;
  ASSERT_GE(built.disks.size(), 3u);

  // The stub first, marked in its DOS header's reserved words, padded to a multiple of 12.
  const std::string& first = built.bytes[0];
  EXPECT_EQ(first.substr(0, 32), stub.substr(0, 32));
  EXPECT_EQ(first.substr(32, 4), kMarker);
  EXPECT_EQ(first.substr(36, stub.size() - 36), stub.substr(36));
  EXPECT_EQ(first.substr(stub.size(), 3), std::string(3, '\0'));

  std::string all;  // the disks one after the other
  std::vector<size_t> starts;
  for (size_t i = 0; i < built.disks.size(); ++i) {
    const SpannedDisk& d = built.disks[i];
    std::string folder = "set/disk" + std::to_string(i + 1);
    EXPECT_EQ(d.path, dir.file(folder + "/setup.exe"));
    EXPECT_EQ(d.label, LabelOfDisk(static_cast<int>(i + 1)));
    EXPECT_EQ(dir.read(folder + "/LABEL.TXT"), d.label + "\r\n");
    EXPECT_EQ(d.size, built.bytes[i].size());
    EXPECT_LE(d.size, size);
    starts.push_back(all.size());
    all += built.bytes[i];
  }
  // Every record lies whole on the disk its fields name.
  const std::string& last = built.bytes.back();
  const uint8_t* end = reinterpret_cast<const uint8_t*>(last.data()) + last.size() - 22 - 20;
  ASSERT_EQ(le32(end), kEndRecordSignature);
  EXPECT_EQ(le16(end + kEndThisDisk), built.disks.size() - 1);
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(all.data());
  size_t at = starts[le16(end + kEndDirectoryDisk)] + le32(end + kEndDirectoryOffset);
  uint16_t onLast = 0;
  auto diskOf = [&](size_t position) {
    size_t disk = 0;
    while (disk + 1 < starts.size() && starts[disk + 1] <= position) ++disk;
    return disk;
  };
  for (size_t i = 0; i < entries.size(); ++i) {
    ASSERT_EQ(le32(bytes + at), kCentralHeaderSignature) << "entry " << i;
    uint32_t headerSize = CentralHeaderSize(bytes + at);
    EXPECT_EQ(diskOf(at), diskOf(at + headerSize - 1)) << "central header " << i << " split";
    if (diskOf(at) == built.disks.size() - 1) ++onLast;
    size_t local = starts[le16(bytes + at + kCentralDiskNumberStart)] +
                   le32(bytes + at + kCentralLocalHeaderOffset);
    ASSERT_EQ(le32(bytes + local), kLocalHeaderSignature) << "entry " << i;
    size_t localSize = 30 + le16(bytes + local + kLocalNameLength) + le16(bytes + local + kLocalExtraLength);
    EXPECT_EQ(diskOf(local), diskOf(local + localSize - 1)) << "local header " << i << " split";
    at += headerSize;
  }
  EXPECT_EQ(le16(end + kEndEntriesOnDisk), onLast);

  ExpectReadsBack(built.bytes, entries, dir);
}

TEST(SpannedSet, NoDiskAfterTheFirstStartsWithTheMarker) {
  TempDir dir;
  const std::string stub = FakeStub(500);
  const uint64_t size = 1000;
  // The marker inside stored data, exactly where the first disk would end: at 1000 - 504 (stub
  // and padding) - 35 (the local header with its name).
  std::string data = std::string(1000 - 504 - 35, 'x') + kMarker + std::string(300, 'y');
  std::vector<ZipEntryPlan> entries = {EntryOf("m.bin", data, 0)};
  Built built = BuildSet(dir, BuildZip(entries), stub, size);
  ASSERT_TRUE(built.ok) << built.error;
  EXPECT_EQ(built.bytes[0].size(), size - 1);
  for (size_t i = 1; i < built.bytes.size(); ++i) EXPECT_NE(built.bytes[i].substr(0, 4), kMarker);
  ExpectReadsBack(built.bytes, entries, dir);
}

TEST(SpannedSet, ASetOnOneDiskIsAPlainSelfExtractingArchive) {
  TempDir dir;
  const std::vector<ZipEntryPlan> entries = Entries();
  const std::string stub = FakeStub(5001);
  Built built = BuildSet(dir, BuildZip(entries), stub, 1474560);
  ASSERT_TRUE(built.ok) << built.error;
  ASSERT_EQ(built.disks.size(), 1u);
  EXPECT_EQ(built.disks[0].label, "VESPA # 001");
  EXPECT_EQ(built.bytes[0].substr(0, stub.size()), stub);  // no marker: nothing to ask for
  ExpectReadsBack(built.bytes, entries, dir, nullptr);
}

TEST(SpannedSet, RefusalsWriteNothing) {
  std::vector<ZipEntryPlan> longName = {EntryOf(std::string(900, 'n'), "dados", 0)};
  const struct {
    const char* what;
    std::string stub;
    std::string archive;
    uint64_t size;
    const char* says;
  } cases[] = {
      {"disk smaller than the stub", FakeStub(5000), BuildZip(Entries()), 4000, "the stub"},
      {"a local header longer than a disk", FakeStub(100), BuildZip(longName), 800,
       "local header"},
      {"a central header longer than a disk", FakeStub(100), BuildZip(longName), 940,
       "central header"},
      {"more than 999 disks", FakeStub(100), BuildZip({EntryOf("big.bin", Pattern(120000, 4), 0)}),
       120, "999 disks"},
      {"a stub that is no program", "XX" + FakeStub(200).substr(2), BuildZip(Entries()), 6000,
       "not a Windows program"},
      {"not a ZIP archive", FakeStub(100), std::string(500, 'z'), 6000, "not a ZIP archive"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    Built built = BuildSet(dir, c.archive, c.stub, c.size);
    EXPECT_FALSE(built.ok);
    EXPECT_NE(built.error.find(c.says), std::string::npos) << built.error;
    EXPECT_FALSE(std::filesystem::exists(dir.file("set/disk1"))) << built.error;
  }
}

}  // namespace
