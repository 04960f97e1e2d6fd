// Runs started from the main dialog: the settings filled from its choices, the password the
// session remembers between its runs, and the destination it creates.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "app/destination.h"
#include "app/dialog_run.h"
#include "app/figures.h"
#include "app/session.h"
#include "extract/decrypt.h"
#include "options/run_options.h"
#include "archive_fixture.h"
#include "run_fixture.h"
#include "shell/directive_flags.h"
#include "temp_dir.h"
#include "zip/archive_state.h"
#include "zip_writer.h"

namespace {

// Every setting of a run, one per line, so that a difference names its field.
std::string Describe(const RunOptions& o) {
  std::ostringstream out;
  out << "command " << o.command << "\nComment " << o.Comment << "\nextractSelection "
      << o.extractSelection << "\nOverwrite " << o.Overwrite << "\nattributeDropMask "
      << o.attributeDropMask << "\nPath " << o.Path << "\ndateFilter " << o.dateFilter
      << "\nrequestedSort " << o.requestedSort << "\nSortExtract " << o.SortExtract << "\nTimes "
      << o.Times << "\nLocaleDate " << o.LocaleDate << "\nuseNtfsTimes " << o.useNtfsTimes
      << "\nHeader " << o.Header << "\nMove " << o.Move << "\nPassword " << o.Password
      << "\nRecurse " << o.Recurse << "\nsortGiven " << o.sortGiven << "\nvolume " << o.volume
      << "\nswitchChar " << o.switchChar << "\nlistMarker " << o.listMarker
      << "\nsecondSwitchChar " << o.secondSwitchChar << "\npasswordText [" << o.passwordText
      << "]\nprintDevice [" << o.printDevice << "]\nAfterDate " << o.AfterDate
      << "\nBeforeDate " << o.BeforeDate << "\n";
  return out.str();
}

// The dialog's choices give the same settings as the option words a user would type for them
// (with a bare -PASSWORD: encrypted entries are tried, no password given), and nothing else.
TEST(DialogRunOptions, SettingsFollowTheDialogChoices) {
  struct Case {
    uint16_t flags;
    bool test;
    std::vector<std::string> words;
  } cases[] = {
      {0, true, {"-TEST", "-PASSWORD"}},
      {kDirectiveRecreateDirectories, true, {"-DIRECTORIES", "-TEST", "-PASSWORD"}},
      // A test never overwrites: the overwrite choice is left out.
      {kDirectiveOverwriteAlways, true, {"-TEST", "-PASSWORD"}},
      {kDirectiveOverwriteNever, true, {"-TEST", "-PASSWORD"}},
      {0, false, {"-EXTRACT", "-PASSWORD"}},
      {kDirectiveOverwriteAlways, false, {"-EXTRACT", "-OVERWRITE", "-PASSWORD"}},
      {kDirectiveOverwriteNever, false, {"-EXTRACT", "-OVERWRITE=NEVER", "-PASSWORD"}},
      {kDirectiveRecreateDirectories | kDirectiveOverwriteNever, false,
       {"-DIRECTORIES", "-EXTRACT", "-OVERWRITE=NEVER", "-PASSWORD"}},
      // Both overwrite bits: "always" wins, as the radio buttons show "ask" only for neither.
      {kDirectiveRecreateDirectories | kDirectiveOverwriteAlways | kDirectiveOverwriteNever, false,
       {"-DIRECTORIES", "-EXTRACT", "-OVERWRITE", "-PASSWORD"}},
      // Bits of other options change no setting.
      {kDirectiveShowMessages | kDirectiveCreateGroups | kDirectiveRegisterExtensions, false,
       {"-EXTRACT", "-PASSWORD"}},
  };
  for (const Case& c : cases) {
    RunRequest typed;
    ASSERT_TRUE(ParseRequest(c.words, &typed).ok());
    EXPECT_EQ(Describe(DialogRunOptions(c.flags, c.test)), Describe(typed.options))
        << "flags " << c.flags << " test " << c.test;
  }
}

TEST(DialogRunOptions, EachRunStartsFromFreshSettings) {
  RunOptions first = DialogRunOptions(kDirectiveRecreateDirectories, true);
  EXPECT_EQ(first.command, kCommandTest);
  EXPECT_EQ(first.Path, 1);
  EXPECT_EQ(first.Recurse, 1);
  EXPECT_EQ(first.Password, 1);
  EXPECT_EQ(first.passwordText, "") << "no placeholder: the password is asked for";

  // The box unchecked after a test: the extraction writes no directories.
  RunOptions second = DialogRunOptions(kDirectiveOverwriteNever, false);
  EXPECT_EQ(second.command, kCommandExtract);
  EXPECT_EQ(second.Path, 0);
  EXPECT_EQ(second.Recurse, 0);
  EXPECT_EQ(second.Overwrite, kOverwriteNever);
  EXPECT_EQ(second.Password, 1);

  EXPECT_EQ(DialogRunOptions(0, false).Overwrite, kOverwriteAsk);
}

// Two encrypted entries under one password and a plain one.
std::vector<ZipEntryPlan> SecretArchive(const char* password) {
  std::vector<ZipEntryPlan> entries(3);
  entries[0].name = "secret.txt";
  entries[0].data = "first secret\n";
  entries[0].password = password;
  entries[1].name = "plain.txt";
  entries[1].data = "nothing hidden\n";
  entries[2].name = "more.bin";
  entries[2].data = std::string("\x00\x01\xFE\xFF more", 9);
  entries[2].method = 8;
  entries[2].password = password;
  return entries;
}

// A dialog run over the session's archive; every entry, files under destination.
Status DialogRun(TestSession& test, uint16_t flags, bool isTest, const std::string& destination,
                 int* processed) {
  RunRequest request;
  request.options = DialogRunOptions(flags, isTest);
  request.destination = destination.c_str();
  return RunCommand(test.session, request, processed);
}

TEST(DialogRun, PasswordTypedInAnEarlierRunIsTriedFirst) {
  TempDir dir;
  TestSession test;
  ASSERT_TRUE(LoadArchive(test.session, dir.file("s.zip"), BuildZip(SecretArchive("segredo"))).ok());
  mkdir(dir.file("out").c_str(), 0755);

  // The first run asks once: the password typed opens the second encrypted entry too.
  test.callbacks.passwordAnswers = {{kPasswordEntered, "segredo"}};
  int processed = 0;
  EXPECT_TRUE(DialogRun(test, 0, true, "", &processed).ok());
  EXPECT_EQ(processed, 3);
  EXPECT_EQ(test.callbacks.asked, std::vector<std::string>({"password:secret.txt"}));
  EXPECT_TRUE(test.front.warnings().empty());

  // The next run of the session tries it first and asks nothing.
  test.callbacks.asked.clear();
  EXPECT_TRUE(DialogRun(test, kDirectiveOverwriteAlways, false, dir.file("out") + "/", &processed).ok());
  EXPECT_EQ(processed, 3);
  EXPECT_TRUE(test.callbacks.asked.empty());
  EXPECT_EQ(dir.read("out/secret.txt"), "first secret\n");
  EXPECT_EQ(dir.read("out/more.bin"), std::string("\x00\x01\xFE\xFF more", 9));
  EXPECT_TRUE(test.front.warnings().empty());

  // Another session remembers nothing of it: its first encrypted entry asks.
  TestSession other;
  ASSERT_TRUE(LoadArchive(other.session, dir.file("s.zip"), BuildZip(SecretArchive("segredo"))).ok());
  other.callbacks.passwordAnswers = {{kPasswordEntered, "segredo"}};
  EXPECT_TRUE(DialogRun(other, 0, true, "", &processed).ok());
  EXPECT_EQ(processed, 3);
  EXPECT_EQ(other.callbacks.asked, std::vector<std::string>({"password:secret.txt"}));
}

TEST(DialogRun, RememberedPasswordThatDoesNotOpenAsks) {
  TempDir dir;
  struct Case {
    std::string remembered, archivePassword;
    std::vector<std::string> asked;
  } cases[] = {
      // The longest password a session keeps is handed over whole.
      {std::string(kPasswordSize - 1, 'p'), std::string(kPasswordSize - 1, 'p'), {}},
      {std::string(kPasswordSize - 1, 'p'), std::string(kPasswordSize - 2, 'p'),
       {"password:secret.txt"}},
      {"antiga", "nova", {"password:secret.txt"}},
  };
  for (const Case& c : cases) {
    TestSession test;
    ASSERT_TRUE(LoadArchive(test.session, dir.file("s.zip"),
                            BuildZip(SecretArchive(c.archivePassword.c_str())))
                    .ok());
    test.callbacks.typedPassword = c.remembered;
    test.callbacks.passwordAnswers = {{kPasswordEntered, c.archivePassword}};
    int processed = 0;
    EXPECT_TRUE(DialogRun(test, 0, true, "", &processed).ok()) << c.archivePassword;
    EXPECT_EQ(processed, 3) << c.archivePassword;
    EXPECT_EQ(test.callbacks.asked, c.asked) << c.archivePassword;
    EXPECT_TRUE(test.front.warnings().empty()) << c.archivePassword;
  }
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
  std::vector<ZipEntryPlan> entries(3);
  entries[0].name = "a", entries[0].data = std::string(1024, 'a');
  entries[1].name = "b", entries[1].data = "b";
  entries[2].name = "c";  // empty
  auto loaded = LoadArchive(dir.file("a.zip"), BuildZip(entries));
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(RequiredKilobytes(&loaded->archive()), 2u);
  EXPECT_EQ(RequiredKilobytes(nullptr), 0u);
}

}  // namespace
