// Spanned sets on a removable drive: recognising a volume, the disk prompts and the label check,
// reading a set whose records and data run over disk ends, and the ways a set fails.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/session.h"
#include "report/messages.h"
#include "run_fixture.h"
#include "spanned_disks.h"
#include "temp_dir.h"
#include "zip_writer.h"

namespace {

const std::string kMarker = Le32(0x08074B50);

std::string Pattern(size_t size, unsigned seed) { return MixedBytes(size, seed, 50, 30); }

// Stored and deflated data, a local extra field, a directory and an entry comment: a record of
// every kind for a disk's end to cut.
std::vector<ZipEntryPlan> Entries() {
  ZipEntryPlan extra = EntryOf("docs/notas.txt", "notas\r\n" + Pattern(300, 5), 0);
  extra.localExtra = Le16(0x5455) + Le16(5) + std::string("\x01\x00\x00\x00\x60", 5);
  extra.comment = "um comentario";
  ZipEntryPlan folder = EntryOf("docs/", "", 0);
  folder.externalAttributes = 0x10;
  return {EntryOf("leia-me.txt", Pattern(700, 1), 0), EntryOf("dados.bin", Pattern(3000, 2), 8),
          folder, extra};
}

// A set's first volume starts with the spanning marker; its offsets count it.
std::string Archive(ZipLayout* layout = nullptr) {
  return BuildZip(Entries(), kMarker, "", layout);
}

class Spanning : public ::testing::Test {
 protected:
  // Puts the disks in a drive; the session's archive asks that drive.
  void Use(const std::vector<std::string>& disks) {
    disks_ = disks;
    drive_ = std::make_unique<FakeDrive>(path_, disks);
    test_.session.archive.setDrive(drive_.get());
  }
  // Every prompt answered with the disk asked for (the last one for the last-disk prompt).
  void AnswerEveryPrompt() {
    test_.callbacks.onDisk = [this](int disk) {
      drive_->insert(disk ? disk : static_cast<int>(disks_.size()));
      return kKeyGoOn;
    };
  }
  Status Open(int firstDisk = 1) {
    drive_->insert(firstDisk);
    return test_.session.open(path_.c_str());
  }
  // Extracts everything into out/ and checks every file byte for byte.
  void ExpectExtractsWhole() {
    Status status;
    int processed = RunAgain(test_, {"-EXTRACT", "-DIRECTORIES", out_.path() + "/"}, &status);
    ASSERT_TRUE(status.ok()) << status.number();
    EXPECT_EQ(processed, 4);
    EXPECT_TRUE(test_.front.warnings().empty());
    for (const ZipEntryPlan& e : Entries()) {
      if (e.name.back() == '/') continue;
      ASSERT_TRUE(out_.exists(e.name)) << e.name;
      EXPECT_TRUE(out_.read(e.name) == e.data) << e.name;
    }
  }
  std::vector<std::string>& asked() { return test_.callbacks.asked; }

  TempDir dir_, out_;
  std::string path_ = dir_.file("setup.zip");
  TestSession test_;
  std::vector<std::string> disks_;
  std::unique_ptr<FakeDrive> drive_;
};

TEST_F(Spanning, ProbeFindsAVolumeByItsMarkerOrItsEndRecord) {
  std::string single = BuildZip(Entries());
  std::string program = "MZ" + std::string(200, 'p');
  std::string afterProgram = "MZ" + std::string(87550, 'p') + kMarker + single;
  std::string reserved = program;
  reserved.replace(32, 4, kMarker);
  ZipLayout layout;
  std::string whole = Archive(&layout);
  std::vector<std::string> three = SplitIntoDisks(whole, {1000, layout.directoryOffset + 10});
  const struct {
    const char* what;
    std::string bytes;
    int driveType;
    int expected;
  } cases[] = {
      {"marker at the start of a volume file", kMarker + single, kDriveRemovable, 1},
      {"marker in the reserved words of a program's DOS header", reserved + single,
       kDriveRemovable, 1},
      {"marker after a program of 87,552 bytes", afterProgram, kDriveRemovable, 1},
      {"a program without a marker, single archive", program + single, kDriveRemovable, 0},
      {"the marker at 32 of a file that is no program", "XX" + reserved.substr(2) + single,
       kDriveRemovable, 0},
      {"single archive", single, kDriveRemovable, 0},
      {"the last disk: end record on disk 3", three[2], kDriveRemovable, 2},
      {"a middle disk: no marker, no end record", three[1], kDriveRemovable, 0},
      {"a volume file on a fixed drive", kMarker + single, kDriveFixed, 0},
      {"the last disk on a network drive", three[2], kDriveRemote, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeDrive drive(path_, {c.bytes});
    drive.type = c.driveType;
    drive.insert(1);
    ArchiveState archive;
    archive.setDrive(&drive);
    archive.setArchiveName(path_.c_str());
    ASSERT_TRUE(archive.openArchive());
    EXPECT_EQ(archive.probeSpanning(), c.expected);
  }
}

TEST_F(Spanning, DiskNumberComesFromTheLabelsNinthCharacterOn) {
  const struct {
    const char* label;
    int expected;
  } cases[] = {
      {"VESPA # 001", 1},   {"VESPA # 12", 12},   {"ABCDEFGH   42", 42}, {"ABCDEFGH7 disco", 7},
      {"ABCDEFGH", 0},      {"CURTO", 0},         {"", 0},              {"ABCDEFGHdisco 3", 0},
      {"ABCDEFGH    ", 0},  {"1234567899", 99},
  };
  FakeDrive drive(path_, {BuildZip(Entries())});
  drive.insert(1);
  ArchiveState archive;
  archive.setDrive(&drive);
  archive.setArchiveName(path_.c_str());
  ASSERT_TRUE(archive.openArchive());
  for (const auto& c : cases) {
    drive.label = c.label;
    EXPECT_EQ(archive.diskNumberFromLabel(), c.expected) << '"' << c.label << '"';
  }
  drive.labelReadable = false;
  EXPECT_EQ(archive.diskNumberFromLabel(), -1);
}

TEST_F(Spanning, ThreeDisksWithTheDirectoryStartingOnTheSecond) {
  ZipLayout layout;
  std::string whole = Archive(&layout);
  // Disk 1 ends inside the deflated data, disk 2 inside the second central header.
  Use(SplitIntoDisks(whole, {layout.localOffsets[1] + 500, layout.directoryOffset + 60}));
  AnswerEveryPrompt();
  ASSERT_TRUE(Open(1).ok());
  EXPECT_EQ(test_.session.archive.entryCount, 4u);
  EXPECT_EQ(asked(), (std::vector<std::string>{"last disk", "disk:2", "disk:3"}));
  asked().clear();
  ExpectExtractsWhole();
  EXPECT_EQ(asked(), (std::vector<std::string>{"disk:1", "disk:2"}));
}

TEST_F(Spanning, StartedFromTheLastDiskAsksForNoOtherBeforeTheDirectory) {
  ZipLayout layout;
  std::string whole = Archive(&layout);
  Use(SplitIntoDisks(whole, {layout.localOffsets[2]}));
  AnswerEveryPrompt();
  ASSERT_TRUE(Open(2).ok());
  EXPECT_TRUE(asked().empty());
  ExpectExtractsWhole();
  EXPECT_EQ(asked(), (std::vector<std::string>{"disk:1", "disk:2"}));
}

// Wherever a disk ends (in a local header, a name, an extra field, the data, the directory's
// first signature or a central header), the set reads as the archive it was cut from.
TEST_F(Spanning, ADiskEndAnywhereBeforeTheEndRecord) {
  ZipLayout layout;
  std::string whole = Archive(&layout);
  int expected = 0;
  {
    TestSession test;
    ASSERT_EQ(RunOn(test, dir_.file("whole.zip"), whole, {"-TEST"}), 5);  // the folder counts twice
    expected = 5;
  }
  // Every position in and around the records; inside the data, only near its ends.
  std::set<size_t> cuts;
  auto around = [&](size_t from, size_t to) {
    for (size_t at = from < 5 ? 1 : from - 4; at <= to && at <= layout.endOffset; ++at) cuts.insert(at);
  };
  const std::vector<ZipEntryPlan> entries = Entries();
  for (size_t i = 0; i < entries.size(); ++i) {
    size_t header = layout.localOffsets[i];
    size_t data = header + 30 + entries[i].name.size() + entries[i].localExtra.size();
    around(header, data + 16);
  }
  around(layout.directoryOffset, layout.endOffset);
  for (size_t cut : cuts) {
    SCOPED_TRACE("disk 1 ends at " + std::to_string(cut));
    TestSession test;
    FakeDrive drive(path_, SplitIntoDisks(whole, {cut}));
    test.session.archive.setDrive(&drive);
    test.callbacks.onDisk = [&drive](int disk) {
      drive.insert(disk ? disk : 2);
      return kKeyGoOn;
    };
    drive.insert(2);  // a first disk of a few bytes is too small to be opened as an archive
    Status status = test.session.open(path_.c_str());
    ASSERT_TRUE(status.ok()) << status.number();
    int processed = RunAgain(test, {"-TEST"}, &status);
    ASSERT_TRUE(status.ok()) << status.number();
    ASSERT_EQ(processed, expected);
    ASSERT_TRUE(test.front.warnings().empty());
  }
}

// Disks smaller than a header: records and data run over several disk ends in one read.
TEST_F(Spanning, DisksSmallerThanAHeader) {
  ZipLayout layout;
  std::string whole = Archive(&layout);
  std::vector<size_t> cuts;
  for (size_t at = 13; at <= layout.endOffset; at += 13) cuts.push_back(at);
  Use(SplitIntoDisks(whole, cuts));
  AnswerEveryPrompt();
  ASSERT_TRUE(Open(static_cast<int>(disks_.size())).ok());
  ExpectExtractsWhole();
}

TEST_F(Spanning, AWrongDiskOrADiskWithoutTheFileIsAskedForAgain) {
  ZipLayout layout;
  std::string whole = Archive(&layout);
  Use(SplitIntoDisks(whole, {layout.localOffsets[1] + 500, layout.directoryOffset + 60}));
  // What goes into the drive at each prompt, in order; then the disk asked for.
  std::vector<std::function<void()>> script = {
      [&] { drive_->insertBlank("VESPA # 003"); },  // last disk: a disk without the file
      [&] { drive_->insert(1); },                    // last disk: disk 1, no end record
      [&] { drive_->insert(3); },
      [&] { drive_->insert(1); },                    // disk 2: disk 1
      [&] { drive_->insertBlank("VESPA # 002"); },   // disk 2: a disk without the file
      [&] { drive_->insert(2, "SEM NUMERO"); },      // disk 2, its label without a number
  };
  size_t step = 0;
  test_.callbacks.onDisk = [&](int disk) {
    if (step < script.size()) {
      script[step++]();
    } else {
      drive_->insert(disk ? disk : 3);
    }
    return kKeyGoOn;
  };
  ASSERT_TRUE(Open(1).ok());
  EXPECT_EQ(asked(), (std::vector<std::string>{"last disk", "last disk", "last disk", "disk:2",
                                               "disk:2", "disk:2", "disk:2", "disk:3"}));
  ExpectExtractsWhole();
}

TEST_F(Spanning, ADriveWithoutLabelsTakesTheDiskInserted) {
  ZipLayout layout;
  std::string whole = Archive(&layout);
  Use(SplitIntoDisks(whole, {layout.localOffsets[1] + 500}));
  drive_->labelReadable = false;
  AnswerEveryPrompt();
  ASSERT_TRUE(Open(1).ok());
  ExpectExtractsWhole();
}

TEST_F(Spanning, CancelAtAPromptEndsWithMessage19) {
  ZipLayout layout;
  std::string whole = Archive(&layout);
  std::vector<std::string> disks =
      SplitIntoDisks(whole, {layout.localOffsets[1] + 500, layout.directoryOffset + 60});
  {
    SCOPED_TRACE("at the last-disk prompt");
    Use(disks);
    Status status = Open(1);
    EXPECT_EQ(status.kind(), StatusKind::kFatal);
    EXPECT_EQ(status.number(), kFatalAborted);
    EXPECT_EQ(status.exitCode(), 19);
    EXPECT_EQ(asked(), std::vector<std::string>{"last disk"});
  }
  {
    SCOPED_TRACE("in the middle of an entry's data");
    TestSession test;
    FakeDrive drive(path_, disks);
    test.session.archive.setDrive(&drive);
    test.callbacks.onDisk = [&drive](int disk) {
      if (disk == 2 && drive.inserted == 1) return kKeyAbort;
      drive.insert(disk ? disk : 3);
      return kKeyGoOn;
    };
    drive.insert(3);
    ASSERT_TRUE(test.session.open(path_.c_str()).ok());
    Status status;
    RunAgain(test, {"-EXTRACT", out_.path() + "/"}, &status);
    EXPECT_EQ(status.number(), kFatalAborted);
    EXPECT_EQ(status.exitCode(), 19);
    EXPECT_EQ(test.callbacks.asked,
              (std::vector<std::string>{"disk:2", "disk:3", "disk:1", "disk:2"}));
  }
}

TEST_F(Spanning, TheLastDiskOnAFixedDriveIsASingleDamagedFile) {
  ZipLayout layout;
  std::string whole = Archive(&layout);
  Use(SplitIntoDisks(whole, {layout.localOffsets[1] + 500, layout.directoryOffset + 60}));
  drive_->type = kDriveFixed;
  Status status = Open(3);
  EXPECT_EQ(status.kind(), StatusKind::kArchiveError);
  EXPECT_EQ(status.number(), kArchiveReadError);
  EXPECT_TRUE(asked().empty());
  EXPECT_EQ(test_.session.archive.spanned, 0);
}

// Records that point past the disk that ends the set, or a directory that runs past its end:
// a structural error, never a prompt for a disk that cannot exist.
TEST_F(Spanning, RecordsPastTheLastDisk) {
  ZipLayout layout;
  std::string whole = Archive(&layout);
  const size_t cut = layout.localOffsets[2];
  const uint32_t end = layout.endOffset - cut;  // of the end record on disk 2
  const struct {
    const char* what;
    size_t at;  // in disk 2's file
    std::string bytes;
    bool atOpen;
    int expected;
  } cases[] = {
      {"directory on disk 3", end + kEndDirectoryDisk, Le16(2), true, kArchiveNoDirectory},
      {"directory longer than the disks", end + kEndDirectorySize,
       Le32(layout.directorySize + 4000), true, kArchiveEndedEarly},
      {"entry on disk 5", layout.directoryOffset - cut + 34, Le16(4), false,
       kArchiveBadLocalHeader},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> disks = SplitIntoDisks(whole, {cut});
    disks[1].replace(c.at, c.bytes.size(), c.bytes);
    TestSession test;
    FakeDrive drive(path_, disks);
    test.session.archive.setDrive(&drive);
    test.callbacks.onDisk = [&drive](int disk) {
      drive.insert(disk ? disk : 2);
      return kKeyGoOn;
    };
    drive.insert(2);
    Status status = test.session.open(path_.c_str());
    if (!c.atOpen) {
      ASSERT_TRUE(status.ok());
      RunAgain(test, {"-TEST"}, &status);
    }
    EXPECT_EQ(status.kind(), StatusKind::kArchiveError);
    EXPECT_EQ(status.number(), c.expected);
    for (const std::string& a : test.callbacks.asked) EXPECT_NE(a, "disk:3");
  }
}

}  // namespace
