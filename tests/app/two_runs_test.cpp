// The engine run more than once in one process, as the main dialog runs a test and then an
// extraction, and as tests run archive after archive: every run starts from its own settings,
// each session keeps its own warnings and password, and a run that fails leaves nothing behind
// for the next.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "app/session.h"
#include "report/messages.h"
#include "report/report.h"
#include "run_fixture.h"
#include "temp_dir.h"
#include "zip_writer.h"

namespace {

std::string Pattern(size_t size, unsigned seed) { return MixedBytes(size, seed, 64, 40); }

// Archive A, for tests: a stored and a deflated entry that check, and one whose CRC is wrong.
std::vector<ZipEntryPlan> ArchiveA() {
  ZipEntryPlan bad = EntryOf("gamma.txt", "gamma: the directory has another CRC\n", 0);
  bad.overrideCrc = true;
  bad.crc = ReferenceCrc32(bad.data) ^ 0x00010000u;
  return {EntryOf("alpha.txt", "alpha contents\n", 0), EntryOf("beta.dat", Pattern(20000, 7), 8), bad};
}

// Archive B, for extractions: other names, in subdirectories.
std::vector<ZipEntryPlan> ArchiveB() {
  return {EntryOf("docs/readme.txt", "Read me first.\r\n" + std::string(3000, '-') + "\r\n", 8),
          EntryOf("docs/sub/data.bin", Pattern(70000, 3), 8),
          EntryOf("top.txt", "top level\n", 0)};
}

// The file holds exactly data; a difference is told by offset, not dumped.
::testing::AssertionResult HoldsBytes(const TempDir& dir, const std::string& name,
                                      const std::string& data) {
  if (!dir.exists(name)) return ::testing::AssertionFailure() << name << " is missing";
  std::string got = dir.read(name);
  if (got == data) return ::testing::AssertionSuccess();
  size_t at = 0;
  while (at < got.size() && at < data.size() && got[at] == data[at]) ++at;
  return ::testing::AssertionFailure() << name << ": " << got.size() << " bytes, " << data.size()
                                       << " expected, first difference at " << at;
}

// The names of the entries a session was told about, in order.
std::vector<std::string> Items(const RecordingFrontEnd& front) {
  std::vector<std::string> names;
  for (const auto& n : front.notifications) {
    if (n.kind == Progress::kItem) names.push_back(n.text);
  }
  return names;
}

// What a test of archive A must show, the n-th time in its session.
void ExpectTestOfA(const TestSession& a, int processed, const Status& status, int n) {
  SCOPED_TRACE("test of A, run " + std::to_string(n));
  EXPECT_TRUE(status.ok());
  EXPECT_EQ(processed, 2);
  std::vector<int> warnings(static_cast<size_t>(n), kWarnCrcFailed);
  EXPECT_EQ(a.front.warnings(), warnings);
  const std::string crcText = WarningText(kWarnCrcFailed);
  for (const std::string& text : a.front.warningTexts()) {
    EXPECT_EQ(text.compare(0, crcText.size(), crcText), 0) << text;
    EXPECT_GE(text.size(), 10u);
    EXPECT_EQ(text.substr(text.size() - 10), " gamma.txt") << text;
  }
  std::vector<std::string> items;
  for (int i = 0; i < n; ++i) items.insert(items.end(), {"alpha.txt", "beta.dat", "gamma.txt"});
  EXPECT_EQ(Items(a.front), items);
  EXPECT_TRUE(a.session.reporter.warned());
  EXPECT_TRUE(a.front.messages.empty());
  EXPECT_TRUE(a.callbacks.asked.empty());
}

TEST(TwoRuns, TheEngineRunsTwiceInOneProcess) {
  TempDir dir;
  const std::vector<ZipEntryPlan> a = ArchiveA();
  const std::vector<ZipEntryPlan> b = ArchiveB();
  const std::string out = dir.file("out");
  mkdir(out.c_str(), 0755);
  dir.write("out/top.txt", "an older top.txt, longer than the new one\n");

  TestSession testA;
  TestSession extractB;
  Status status;

  // A test of A: two entries check, the third warns.
  int processed = RunOn(testA, dir.file("a.zip"), BuildZip(a), {"-TEST"}, &status);
  ExpectTestOfA(testA, processed, status, 1);
  EXPECT_FALSE(dir.exists("out/alpha.txt"));

  // An extraction of B with other settings: subdirectories, overwriting without asking.
  processed = RunOn(extractB, dir.file("b.zip"), BuildZip(b),
                    {"-EXTRACT", "-DIRECTORIES", "-OVERWRITE", out + "/"}, &status);
  EXPECT_TRUE(status.ok());
  EXPECT_EQ(processed, 3);
  for (const ZipEntryPlan& e : b) EXPECT_TRUE(HoldsBytes(dir, "out/" + e.name, e.data));
  EXPECT_TRUE(extractB.front.warnings().empty()) << "A's warning stays in A's session";
  EXPECT_FALSE(extractB.session.reporter.warned());
  EXPECT_TRUE(extractB.callbacks.asked.empty());
  EXPECT_EQ(Items(extractB.front),
            std::vector<std::string>({out + "/docs/readme.txt", out + "/docs/sub/data.bin",
                                      out + "/top.txt"}));
  // Nothing of the extraction went to A's front end.
  ExpectTestOfA(testA, 2, Status(), 1);

  // A again, in its own session: the same result, as if B had never run; B's settings
  // (an extraction, a destination) do not reach it.
  const size_t notifiedB = extractB.front.notifications.size();
  processed = RunAgain(testA, {"-TEST"}, &status);
  ExpectTestOfA(testA, processed, status, 2);
  EXPECT_EQ(extractB.front.notifications.size(), notifiedB);

  // B again without subdirectories and without overwriting: the files land flat and an
  // existing one is kept; nothing of the first extraction's settings is left.
  const std::string flat = dir.file("flat");
  mkdir(flat.c_str(), 0755);
  dir.write("flat/top.txt", "kept\n");
  processed = RunAgain(extractB, {"-EXTRACT", "-OVERWRITE=NEVER", flat + "/"}, &status);
  EXPECT_TRUE(status.ok());
  EXPECT_EQ(processed, 2);
  EXPECT_TRUE(HoldsBytes(dir, "flat/readme.txt", b[0].data));
  EXPECT_TRUE(HoldsBytes(dir, "flat/data.bin", b[1].data));
  EXPECT_EQ(dir.read("flat/top.txt"), "kept\n");
  EXPECT_FALSE(dir.exists("flat/docs"));
  EXPECT_TRUE(extractB.front.warnings().empty());
  EXPECT_FALSE(extractB.session.reporter.warned());
  // The first extraction's files are as it left them.
  for (const ZipEntryPlan& e : b) EXPECT_TRUE(HoldsBytes(dir, "out/" + e.name, e.data));

  // A in a session of its own, after all that: one warning, its own.
  TestSession again;
  processed = RunOn(again, dir.file("a2.zip"), BuildZip(a), {"-TEST"}, &status);
  ExpectTestOfA(again, processed, status, 1);
}

// Damages one part of an archive's bytes.
struct Fault {
  const char* what;
  void (*damage)(std::string& bytes, const ZipLayout& layout);
  bool failsOnOpen;  // else the run fails
  StatusKind kind;
  int number;
  int exitCode;
};

void BreakLocalHeader(std::string& bytes, const ZipLayout& layout) {
  bytes[layout.localOffsets[1]] = 'X';
}

// The directory's first header: the directory is not where the end record says.
void BreakDirectoryStart(std::string& bytes, const ZipLayout& layout) {
  bytes[layout.directoryOffset] = 'X';
}

// The second header of the directory (after the fixed 46 bytes and the first name): the
// directory holds fewer entries than the end record counts.
void BreakSecondCentralHeader(std::string& bytes, const ZipLayout& layout) {
  bytes[layout.directoryOffset + 46 + ArchiveA()[0].name.size()] = 'X';
}

TEST(TwoRuns, AFailedRunLeavesTheNextOneWhole) {
  const Fault faults[] = {
      {"local header missing", BreakLocalHeader, false, StatusKind::kArchiveError,
       kArchiveBadLocalHeader, kArchiveBadLocalHeader + kArchiveErrorExitOffset},
      {"directory not where the end record says", BreakDirectoryStart, true,
       StatusKind::kArchiveError, kArchiveReadError, kArchiveReadError + kArchiveErrorExitOffset},
      {"directory cannot load", BreakSecondCentralHeader, true, StatusKind::kArchiveError,
       kArchiveNoDirectory, kArchiveNoDirectory + kArchiveErrorExitOffset},
  };
  const std::vector<ZipEntryPlan> b = ArchiveB();
  for (const Fault& f : faults) {
    SCOPED_TRACE(f.what);
    TempDir dir;
    ZipLayout layout;
    std::string broken = BuildZip(ArchiveA(), "", "", &layout);
    f.damage(broken, layout);

    TestSession failing;
    Status status;
    int processed = RunOn(failing, dir.file("broken.zip"), broken,
                          {"-EXTRACT", "-DIRECTORIES", "-OVERWRITE", dir.path() + "/"}, &status);
    EXPECT_EQ(processed, f.failsOnOpen ? -1 : 1) << "the entry before the damage is extracted";
    EXPECT_EQ(status.kind(), f.kind);
    EXPECT_EQ(status.number(), f.number);
    EXPECT_EQ(status.exitCode(), f.exitCode);
    char text[600];
    status.messageText(text, sizeof text);
    EXPECT_EQ(std::string(text).find(ArchiveErrorText(f.number)), 0u) << text;
    failing.session.reporter.showStatus(status);
    ASSERT_EQ(failing.front.messages.size(), 1u);
    EXPECT_EQ(failing.front.messages[0], text);

    // The next run in the process, over a good archive, is not touched by the failure.
    Status next;
    TestSession good;
    mkdir(dir.file("out").c_str(), 0755);
    processed = RunOn(good, dir.file("good.zip"), BuildZip(b),
                      {"-EXTRACT", "-DIRECTORIES", dir.file("out") + "/"}, &next);
    EXPECT_TRUE(next.ok());
    EXPECT_EQ(processed, 3);
    for (const ZipEntryPlan& e : b) EXPECT_TRUE(HoldsBytes(dir, "out/" + e.name, e.data));
    EXPECT_TRUE(good.front.warnings().empty());
    EXPECT_TRUE(good.front.messages.empty());
    EXPECT_FALSE(good.session.reporter.warned());
  }
}

}  // namespace
