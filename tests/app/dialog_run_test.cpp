// Runs started from the main dialog: the option words built from its choices, and the
// destination it creates.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/destination.h"
#include "app/dialog_run.h"
#include "app/figures.h"
#include "app/directive_flags.h"
#include "extract/decrypt.h"
#include "options/run_options.h"
#include "archive_fixture.h"
#include "temp_dir.h"
#include "zip/archive_state.h"
#include "zip_writer.h"

namespace {

std::vector<std::string> Words(char** vector) {
  std::vector<std::string> words;
  for (; *vector; ++vector) words.push_back(*vector);
  return words;
}

TEST(BuildArgumentVector, WordsFollowTheDialogChoices) {
  std::memset(storedPassword, 0, sizeof storedPassword);
  const std::string pw = "-PASSWORD=\x01";
  struct Case {
    uint16_t flags;
    bool test;
    std::vector<std::string> words;
  } cases[] = {
      {0, true, {"-TEST", pw}},
      {kDirectiveRecreateDirectories, true, {"-DIRECTORIES", "-TEST", pw}},
      // A test never overwrites: the overwrite choice is left out.
      {kDirectiveOverwriteAlways, true, {"-TEST", pw}},
      {0, false, {"-EXTRACT", pw}},
      {kDirectiveOverwriteAlways, false, {"-EXTRACT", "-OVERWRITE", pw}},
      {kDirectiveOverwriteNever, false, {"-EXTRACT", "-OVERWRITE=NEVER", pw}},
      // Both overwrite bits: "always" wins, as the radio buttons show "ask" only for neither.
      {kDirectiveRecreateDirectories | kDirectiveOverwriteAlways | kDirectiveOverwriteNever, false,
       {"-DIRECTORIES", "-EXTRACT", "-OVERWRITE", pw}},
      // Bits of other options add no word.
      {kDirectiveShowMessages | kDirectiveCreateGroups | kDirectiveRegisterExtensions, false,
       {"-EXTRACT", pw}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Words(BuildArgumentVector(c.flags, c.test)), c.words) << c.flags << " " << c.test;
  }
}

TEST(BuildArgumentVector, PasswordTypedInAnEarlierRunIsPassedOn) {
  std::memset(storedPassword, 0, sizeof storedPassword);
  std::strcpy(storedPassword, "segredo");
  EXPECT_EQ(Words(BuildArgumentVector(0, true)).back(), "-PASSWORD=segredo");
  // The longest password the store keeps fits in the word.
  std::memset(storedPassword, 'p', kPasswordSize - 1);
  EXPECT_EQ(Words(BuildArgumentVector(0, true)).back(),
            "-PASSWORD=" + std::string(kPasswordSize - 1, 'p'));
  std::memset(storedPassword, 0, sizeof storedPassword);
}

TEST(ParseDialogRun, EachRunStartsFromFreshSettings) {
  std::memset(storedPassword, 0, sizeof storedPassword);
  ParseDialogRun(kDirectiveRecreateDirectories, true);
  EXPECT_EQ(gRunOptions.command, kCommandTest);
  EXPECT_EQ(gRunOptions.Path, 1);
  EXPECT_EQ(gRunOptions.Password, 1);
  EXPECT_STREQ(gRunOptions.passwordText, "\x01");

  // The box unchecked after a test: the extraction writes no directories.
  ParseDialogRun(kDirectiveOverwriteNever, false);
  EXPECT_EQ(gRunOptions.command, kCommandExtract);
  EXPECT_EQ(gRunOptions.Path, 0);
  EXPECT_EQ(gRunOptions.Overwrite, kOverwriteNever);

  ParseDialogRun(0, false);
  EXPECT_EQ(gRunOptions.Overwrite, kOverwriteAsk);
  ResetOptions(&gRunOptions);
}

TEST(TrimDestination, DropsATrailingSeparatorExceptAtADriveRoot) {
  struct Case {
    const char* given;
    const char* expected;
  } cases[] = {
      {"C:\\", "C:\\"}, {"C:\\Dir\\", "C:\\Dir"}, {"C:\\Dir", "C:\\Dir"},
      {"\\", "\\"},     {"dir\\", "dir"},         {"", ""},
  };
  for (const Case& c : cases) {
    char path[64];
    std::strcpy(path, c.given);
    TrimDestination(path);
    EXPECT_STREQ(path, c.expected) << c.given;
  }
}

std::string CurrentDirectory() {
  char buffer[4096];
  return getcwd(buffer, sizeof buffer) ? buffer : "";
}

TEST(CreateDestination, MakesEveryMissingDirectoryAndEntersTheLast) {
  TempDir dir;
  std::string saved = CurrentDirectory();
  struct Case {
    const char* given;
    const char* made;
  } cases[] = {{"/a/b/c", "/a/b/c"}, {"/d/e/", "/d/e"}};
  for (const Case& c : cases) {
    char path[512];
    std::string given = Backslashed(dir.path() + c.given);
    std::snprintf(path, sizeof path, "%s", given.c_str());
    EXPECT_EQ(CreateDestination(path), 1) << c.given;
    EXPECT_EQ(std::string(path), given) << "a trailing separator is given back";
    std::string made = dir.path() + c.made;
    struct stat st;
    ASSERT_EQ(stat(made.c_str(), &st), 0) << made;
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(CurrentDirectory(), made);
  }
  ASSERT_EQ(chdir(saved.c_str()), 0);
}

TEST(CreateDestination, StopsAtADirectoryThatCannotBeMade) {
  TempDir dir;
  std::string saved = CurrentDirectory();
  dir.write("file", "not a directory");
  char path[512];
  std::string given = Backslashed(dir.path() + "/file/x/y");
  std::snprintf(path, sizeof path, "%s", given.c_str());
  EXPECT_EQ(CreateDestination(path), 0);
  // Cut at the first directory on the way that could be neither entered nor made.
  EXPECT_EQ(std::string(path), Backslashed(dir.path() + "/file"));
  EXPECT_FALSE(dir.exists("file/x"));
  ASSERT_EQ(chdir(saved.c_str()), 0);
}

TEST(Figures, FreeSpacePastThirtyTwoBitsOfKilobytes) {
  struct Case {
    uint32_t clusterBytes, freeClusters;
    uint64_t kilobytes;
  } cases[] = {
      {512, 3, 1},                         // small clusters: multiplied out first
      {4096, 1000, 4000},
      {4096, 0xFFFFFFFFu, 17179869180ull},  // 16 TiB free: no wrap at 2^32 kilobytes
      {65536, 0xFFFFFFFFu, 274877906880ull},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FreeKilobytes(c.clusterBytes, c.freeClusters), c.kilobytes) << c.clusterBytes;
  }
}

TEST(Figures, RequiredKilobytesRoundUpTheSum) {
  TempDir dir;
  std::vector<ZipEntrySpec> entries(3);
  entries[0].name = "a", entries[0].data = std::string(1024, 'a');
  entries[1].name = "b", entries[1].data = "b";
  entries[2].name = "c";  // empty
  EXPECT_EQ(RequiredKilobytes(LoadArchive(dir.file("a.zip"), BuildZip(entries))), 2u);
  DropArchive();
  EXPECT_EQ(RequiredKilobytes(nullptr), 0u);
}

}  // namespace
