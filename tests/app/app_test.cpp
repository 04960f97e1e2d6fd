// Start-up helpers and the pass: the initial directory, HELP and VERSION, default commands.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "app/session.h"
#include "report/messages.h"
#include "report/report.h"
#include "run_fixture.h"
#include "temp_dir.h"
#include "zip_writer.h"

namespace {

TEST(ResolveInitialDirectory, CutsAtTheFirstMissingPrefix) {
  TempDir dir;
  mkdir(dir.file("A").c_str(), 0755);
  char saved[4096];
  ASSERT_NE(getcwd(saved, sizeof saved), nullptr);

  struct Case {
    std::string given, expected;
  } cases[] = {
      // Only A exists: A\B\C stops at A; A\B keeps its last component, which is never tested.
      {dir.path() + "/A/B/C", dir.path() + "/A"},
      {dir.path() + "/A/B", dir.path() + "/A/B"},
      {dir.path() + "/A", dir.path() + "/A"},
      // The first prefix already missing: nothing is left.
      {"/no-such-root-dir/x/y", ""},
  };
  for (const Case& c : cases) {
    char path[kPathSize];
    std::string given = Backslashed(c.given);
    std::snprintf(path, sizeof path, "%s", given.c_str());
    ResolveInitialDirectory(path);
    EXPECT_EQ(std::string(path), Backslashed(c.expected)) << c.given;
  }
  ASSERT_EQ(chdir(saved), 0);
}

// HELP and VERSION end the front end without a message: 0, or 1 once the session has warned;
// VERSION 25.
TEST(RunCommand, HelpAndVersionEndWithTheirExitCodes) {
  TempDir dir;
  std::string empty = BuildZip({});
  struct Case {
    std::vector<std::string> words;
    int exitCode;
  } cases[] = {{{"-HELP"}, 0}, {{"-VERSION=MAJOR"}, kExitVersion}};
  for (const Case& c : cases) {
    TestSession test;
    Status status;
    EXPECT_EQ(RunOn(test, dir.file("a.zip"), empty, c.words, &status), 0) << c.words[0];
    EXPECT_EQ(status.kind(), StatusKind::kExit) << c.words[0];
    EXPECT_EQ(status.exitCode(), c.exitCode) << c.words[0];
    char text[64] = "unchanged";
    status.messageText(text, sizeof text);
    EXPECT_STREQ(text, "") << c.words[0];
    test.session.reporter.showStatus(status);
    EXPECT_TRUE(test.front.messages.empty()) << c.words[0];
    EXPECT_TRUE(test.front.notifications.empty()) << c.words[0];
  }

  // A run that warned first: HELP in the same session ends with 1; a session of its own in the
  // same process still ends with 0.
  ZipEntryPlan bad;
  bad.name = "bad.txt";
  bad.data = "contents";
  bad.overrideCrc = true;
  bad.crc = 0x12345678;
  TestSession warned;
  Status status;
  EXPECT_EQ(RunOn(warned, dir.file("bad.zip"), BuildZip({bad}), {"-TEST"}, &status), 0);
  EXPECT_TRUE(status.ok());
  EXPECT_EQ(warned.front.warnings(), std::vector<int>({kWarnCrcFailed}));
  RunAgain(warned, {"-HELP"}, &status);
  EXPECT_EQ(status.kind(), StatusKind::kExit);
  EXPECT_EQ(status.exitCode(), 1);

  TestSession fresh;
  RunOn(fresh, dir.file("a.zip"), empty, {"-HELP"}, &status);
  EXPECT_EQ(status.exitCode(), 0);
}

TEST(RunCommand, EmptyIncludeListSelectsEverything) {
  TempDir dir;
  TestSession test;
  ZipEntryPlan a;
  a.name = "no-dot";
  a.data = "1";
  ZipEntryPlan b;
  b.name = "sub/x.y.z";
  b.data = "2";
  EXPECT_EQ(RunOn(test, dir.file("a.zip"), BuildZip({a, b}), {"-TEST"}), 2);
}

TEST(RunCommand, NamesSelectEntries) {
  TempDir dir;
  TestSession test;
  std::vector<ZipEntryPlan> entries;
  for (const char* name : {"a.txt", "b.doc", "c.txt"}) {
    ZipEntryPlan e;
    e.name = name;
    e.data = name;
    entries.push_back(e);
  }
  EXPECT_EQ(RunOn(test, dir.file("a.zip"), BuildZip(entries), {"-TEST", "*.txt", "-EXCLUDE=c*"}),
            1);
}

}  // namespace
