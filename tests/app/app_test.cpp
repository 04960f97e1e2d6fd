// Start-up helpers and the pass: the initial directory, HELP and VERSION, default commands.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "app/app.h"
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

TEST(RunCommandDeathTest, HelpAndVersionEndTheProcess) {
  TempDir dir;
  std::string zip = BuildZip({});
  EXPECT_EXIT(RunOn(dir.file("a.zip"), zip, {"-HELP"}), ::testing::ExitedWithCode(0), "^$");
  EXPECT_EXIT(
      {
        gWarningFlag = 1;
        RunOn(dir.file("a.zip"), zip, {"-HELP"});
      },
      ::testing::ExitedWithCode(1), "^$");
  EXPECT_EXIT(RunOn(dir.file("a.zip"), zip, {"-VERSION=MAJOR"}), ::testing::ExitedWithCode(25),
              "^$");
}

TEST(RunCommand, EmptyIncludeListSelectsEverything) {
  TempDir dir;
  RecordingFrontEnd front;
  ZipEntrySpec a;
  a.name = "no-dot";
  a.data = "1";
  ZipEntrySpec b;
  b.name = "sub/x.y.z";
  b.data = "2";
  EXPECT_EQ(RunOn(dir.file("a.zip"), BuildZip({a, b}), {"-TEST"}), 2);
  DropArchive();
}

TEST(RunCommand, NamesSelectEntries) {
  TempDir dir;
  RecordingFrontEnd front;
  std::vector<ZipEntrySpec> entries;
  for (const char* name : {"a.txt", "b.doc", "c.txt"}) {
    ZipEntrySpec e;
    e.name = name;
    e.data = name;
    entries.push_back(e);
  }
  EXPECT_EQ(RunOn(dir.file("a.zip"), BuildZip(entries), {"-TEST", "*.txt", "-EXCLUDE=c*"}), 1);
  DropArchive();
}

}  // namespace
