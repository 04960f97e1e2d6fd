// Positioning on an entry's data: the local header's signature and CRC, its extra field.
#include <gtest/gtest.h>

#include "exit_codes.h"

#include "archive_fixture.h"
#include "recording_front_end.h"
#include "temp_dir.h"
#include "zip_writer.h"

namespace {

ZipEntrySpec Entry() {
  ZipEntrySpec e;
  e.name = "data.bin";
  e.data = "0123456789";
  e.localExtra = Le16(0x1234) + Le16(2) + "xy";
  return e;
}

TEST(LocalHeader, StreamStandsOnTheEntryData) {
  TempDir dir;
  RecordingFrontEnd front(false);
  ZipLayout layout;
  ArchiveState* archive =
      LoadArchive(dir.file("a.zip"), BuildZip({Entry()}, "PREFIX", "", &layout));
  ASSERT_NE(archive, nullptr);
  uint32_t at = archive->seekEntryData(archive->entries()[0]);
  EXPECT_EQ(at, layout.localOffsets[0] + kLocalHeaderSize + 8 + 6);
  ASSERT_EQ(archive->localExtraLength, 6);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(archive->localExtra), 6), Le16(0x1234) + Le16(2) + "xy");
  char data[10];
  archive->readArchiveExact(data, 10);
  EXPECT_EQ(std::string(data, 10), "0123456789");
  DropArchive();
}

TEST(LocalHeader, DataDescriptorRelaxesTheCrcCheck) {
  ZipEntrySpec e = Entry();
  e.flags = kFlagDataDescriptor;
  e.overrideLocalCrc = true;
  e.localCrc = 0;
  TempDir dir;
  RecordingFrontEnd front(false);
  ArchiveState* archive = LoadArchive(dir.file("a.zip"), BuildZip({e}));
  ASSERT_NE(archive, nullptr);
  archive->seekEntryData(archive->entries()[0]);
  DropArchive();
}

TEST(LocalHeaderDeathTest, CorruptOrMissing) {
  TempDir dir;
  ZipLayout layout;
  ZipEntrySpec crcDiffers = Entry();
  crcDiffers.overrideLocalCrc = true;
  crcDiffers.localCrc = 1;
  std::string badCrc = BuildZip({crcDiffers});
  EXPECT_EXIT(
      {
        ArchiveState* a = LoadArchive(dir.file("crc.zip"), badCrc);
        a->seekEntryData(a->entries()[0]);
      },
      ArchiveErrorExit(154), "Cabe.alho local corrompido");

  std::string badSignature = BuildZip({Entry()}, "", "", &layout);
  badSignature[layout.localOffsets[0]] = 'Q';
  EXPECT_EXIT(
      {
        ArchiveState* a = LoadArchive(dir.file("sig.zip"), badSignature);
        a->seekEntryData(a->entries()[0]);
      },
      ArchiveErrorExit(154), "local corrompido");

  // A local header offset that leaves fewer than 30 bytes before the end of the file.
  std::string shortRead = BuildZip({Entry()}, "", "", &layout);
  size_t field = layout.directoryOffset + 42;
  shortRead.replace(field, 4, Le32(static_cast<uint32_t>(shortRead.size() - 10)));
  EXPECT_EXIT(
      {
        ArchiveState* a = LoadArchive(dir.file("short.zip"), shortRead);
        a->seekEntryData(a->entries()[0]);
      },
      ArchiveErrorExit(153), "Final prematuro");
}

}  // namespace
