// The authenticity check at the end of every run, through the driver as the front ends run it:
// a record that opens shows its maker after a test and after an extraction; a changed entry,
// a missing or doubled record and a damaged record each give their warning, and nothing is
// read outside the record.
#include <gtest/gtest.h>

#include "fs/codepage.h"
#include <sys/stat.h>

#include <string>
#include <vector>

#include "authenticity_record.h"
#include "report/messages.h"
#include "run_fixture.h"
#include "temp_dir.h"
#include "zip_writer.h"

namespace {

ZipEntryPlan Entry(const std::string& name, const std::string& data, uint16_t method,
                   bool isProtected) {
  ZipEntryPlan e;
  e.name = name;
  e.data = data;
  e.method = method;
  if (isProtected) e.internalAttributes = kTestProtectedBit;
  return e;
}

// Two protected entries (stored, deflated) and an unprotected one; the record, when given,
// sits in the deflated entry's extra field, after a field of another kind.
std::vector<ZipEntryPlan> Entries() {
  std::string text;
  for (int i = 0; i < 200; ++i) text += "linha " + std::to_string(i) + "\r\n";
  return {Entry("leia-me.txt", "Bem-vindo!\r\n", 0, true), Entry("dados.txt", text, 8, true),
          Entry("solto.txt", "sem proteção\r\n", 0, false)};
}

std::vector<ZipEntryPlan> Signed(const AuthenticityRecordPlan& record) {
  std::vector<ZipEntryPlan> entries = Entries();
  entries[1].centralExtra = Le16(0x5455) + Le16(5) + std::string("\x01\x00\x00\x00\x60", 5) +
                            RecordField(ProtectedTotal(entries), record);
  return entries;
}

// The record keeps its texts in 1252; the front ends are shown them in UTF-8.
const AuthenticityRecordPlan kMaker{123456, "F\xE1" "brica de Software Ltda.", ""};
const AuthenticityRecordPlan kMakerWithText{123456, "F\xE1" "brica de Software Ltda.",
                                            "Vers\xE3o 2.0\r\nSuporte: 0800"};

struct Shown {
  std::vector<int> warnings;
  std::vector<RecordedAuthenticity> authenticity;
};

Shown TestRun(const std::string& bytes, std::vector<std::string> words = {"-TEST"}) {
  TempDir dir;
  TestSession test;
  Status status;
  RunOn(test, dir.file("a.zip"), bytes, words, &status);
  EXPECT_TRUE(status.ok());
  return {test.front.warnings(), test.front.authenticity};
}

TEST(VerifyAuthenticity, AGoodRecordShowsItsMakerAfterATestAndAfterAnExtraction) {
  for (const AuthenticityRecordPlan& record : {kMaker, kMakerWithText}) {
    SCOPED_TRACE(record.text.empty() ? "without additional text" : "with additional text");
    TempDir dir;
    TestSession test;
    Status status;
    ASSERT_EQ(RunOn(test, dir.file("a.zip"), BuildZip(Signed(record)), {"-TEST"}, &status), 3);
    ASSERT_TRUE(status.ok());
    EXPECT_TRUE(test.front.warnings().empty());
    ASSERT_EQ(test.front.authenticity.size(), 1u);
    EXPECT_EQ(test.front.authenticity[0].code, "ACI280");
    EXPECT_EQ(test.front.authenticity[0].name, AnsiToUtf8(record.name));
    EXPECT_EQ(test.front.authenticity[0].text, AnsiToUtf8(record.text));
    // The mark follows each protected entry's result, and only theirs.
    std::vector<Progress> marks;
    for (const RecordedNotification& n : test.front.notifications) {
      if (n.kind == Progress::kTested || n.kind == Progress::kAuthentic) marks.push_back(n.kind);
    }
    EXPECT_EQ(marks, std::vector<Progress>({Progress::kTested, Progress::kAuthentic, Progress::kTested, Progress::kAuthentic,
                                            Progress::kTested}));

    // The same session extracts next and shows the maker again.
    const std::string out = dir.file("out");
    mkdir(out.c_str(), 0755);
    ASSERT_EQ(RunAgain(test, {"-EXTRACT", out + "/"}, &status), 3);
    EXPECT_TRUE(status.ok());
    EXPECT_TRUE(test.front.warnings().empty());
    ASSERT_EQ(test.front.authenticity.size(), 2u);
    EXPECT_EQ(test.front.authenticity[1].name, AnsiToUtf8(record.name));
    EXPECT_EQ(dir.read("out/leia-me.txt"), "Bem-vindo!\r\n");
  }
}

TEST(VerifyAuthenticity, AChangedProtectedEntryFailsBesideItsCrcWarning) {
  std::vector<ZipEntryPlan> entries = Signed(kMaker);
  // One byte of the stored entry's data differs from what its CRC was taken over.
  entries[0].overrideCrc = true;
  entries[0].crc = ReferenceCrc32(entries[0].data);
  entries[0].data[3] ^= 0x20;
  const std::string bytes = BuildZip(entries);

  Shown shown = TestRun(bytes);
  EXPECT_EQ(shown.warnings, std::vector<int>({kWarnCrcFailed, kWarnAuthenticityFailed}));
  EXPECT_TRUE(shown.authenticity.empty());

  // Entries left out of a run keep their stored CRCs in the total: the rest still verifies.
  shown = TestRun(bytes, {"-TEST", "dados.txt", "solto.txt"});
  EXPECT_TRUE(shown.warnings.empty());
  EXPECT_EQ(shown.authenticity.size(), 1u);
}

TEST(VerifyAuthenticity, AProtectedEntryTheDecoderGivesUpOnFails) {
  // The stream decodes its block, which is no longer marked the last, then finds no sound
  // block after it: part of the file is written, its CRC never compared. The record must not
  // vouch for it.
  std::vector<ZipEntryPlan> entries = Signed(kMaker);
  std::string stream = DeflateRaw(entries[1].data);
  stream[0] = static_cast<char>(stream[0] & ~1);
  entries[1].compressed = stream + std::string(1, '\x07');
  entries[1].useCompressed = true;
  for (const char* command : {"-TEST", "-EXTRACT"}) {
    SCOPED_TRACE(command);
    TempDir dir;
    TestSession test;
    Status status;
    RunOn(test, dir.file("a.zip"), BuildZip(entries), {command, dir.path() + "/"}, &status);
    EXPECT_TRUE(status.ok());
    std::vector<int> warnings = test.front.warnings();
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_TRUE(warnings[0] == kWarnBadTable || warnings[0] == kWarnBadBlockType ||
                warnings[0] == kWarnDataEnded)
        << warnings[0];
    EXPECT_EQ(warnings[1], kWarnAuthenticityFailed);
    EXPECT_TRUE(test.front.authenticity.empty());
  }
}

TEST(VerifyAuthenticity, EveryRunStartsFromTheSummaryAsLoaded) {
  std::vector<ZipEntryPlan> entries = Signed(kMaker);
  entries[0].overrideCrc = true;
  entries[0].crc = ReferenceCrc32(entries[0].data);
  entries[0].data[0] ^= 0x01;
  TempDir dir;
  TestSession test;
  Status status;
  RunOn(test, dir.file("a.zip"), BuildZip(entries), {"-TEST"}, &status);
  EXPECT_EQ(test.front.warnings(), std::vector<int>({kWarnCrcFailed, kWarnAuthenticityFailed}));
  // A second run over the same entry moves the total from the loaded value once, not twice,
  // and a run without it is not charged with the first run's finding.
  RunAgain(test, {"-TEST", "dados.txt"}, &status);
  EXPECT_EQ(test.front.warnings(), std::vector<int>({kWarnCrcFailed, kWarnAuthenticityFailed}));
  EXPECT_EQ(test.front.authenticity.size(), 1u);
}

struct BadCase {
  const char* what;
  std::vector<ZipEntryPlan> entries;
  std::vector<int> warnings;
};

std::vector<BadCase> BadCases() {
  std::vector<BadCase> cases;
  std::vector<ZipEntryPlan> e = Entries();
  const uint32_t total = ProtectedTotal(e);

  e[0].centralExtra = RecordField(total, kMaker);
  e[1].centralExtra = RecordField(total, kMaker);
  cases.push_back({"two records", e, {kWarnAuthenticityUnvouched}});

  cases.push_back({"protected entries without a record", Entries(), {kWarnAuthenticityUnvouched}});

  e = Entries();
  e[2].centralExtra = RecordField(total, kMaker);
  cases.push_back({"the record on an unprotected entry", e, {kWarnAuthenticityUnvouched}});

  // Without protected entries no record is looked for: the archive carries no authenticity.
  e = Entries();
  for (ZipEntryPlan& entry : e) entry.internalAttributes = 0;
  e[1].centralExtra = RecordField(0, kMaker);
  cases.push_back({"a record without protected entries", e, {}});

  e = Entries();
  e[1].centralExtra = Le16(0x0007) + Le16(11) + std::string(11, 'x');
  cases.push_back({"a data size below 12", e, {kWarnAuthenticityFailed}});

  // The last header of the directory, with no comment after it: a read past the field would
  // leave the loaded directory.
  e = Entries();
  std::string field = RecordField(total, kMaker);
  field[2] = static_cast<char>(field[2] + 40);
  std::swap(e[1], e[2]);
  e[2].centralExtra = field;
  cases.push_back({"a data size past the extra field", e, {kWarnAuthenticityFailed}});

  e = Entries();
  e[1].centralExtra = RecordField(total, {123456, "", "só texto"});
  cases.push_back({"an empty maker's name", e, {kWarnAuthenticityFailed}});

  e = Entries();
  AuthenticityRecordPlan wrong = kMaker;
  wrong.checksumWrong = true;
  e[1].centralExtra = RecordField(total, wrong);
  cases.push_back({"a checksum that does not match", e, {kWarnAuthenticityFailed}});

  // An entry made on another host is not protected: the record seals a total without it.
  e = Entries();
  e[0].versionMadeBy = 0x0314;
  e[1].centralExtra = RecordField(total, kMaker);
  cases.push_back({"a protected entry of another host", e, {kWarnAuthenticityFailed}});
  return cases;
}

TEST(VerifyAuthenticity, BadRecordsWarnAndShowNoMaker) {
  for (const BadCase& c : BadCases()) {
    SCOPED_TRACE(c.what);
    Shown shown = TestRun(BuildZip(c.entries));
    EXPECT_EQ(shown.warnings, c.warnings);
    EXPECT_TRUE(shown.authenticity.empty());
  }
}

}  // namespace
