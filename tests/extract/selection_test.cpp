// Entry selection: the wildcard matcher, name lists, date filters, freshen and update.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "central_header_builder.h"
#include "extract/selection.h"
#include "options/run_options.h"
#include "run_fixture.h"
#include "temp_dir.h"
#include "zip/archive_state.h"

namespace {

struct WildcardCase {
  const char* pattern;
  const char* name;
  int match;
};

TEST(MatchWildcard, Table) {
  const WildcardCase cases[] = {
      // A star stops at the first name character equal to the next pattern character.
      {"*.txt", "a.txt", 1},
      {"*.txt", "a.b.txt", 0},
      {"*.*", "a.b.txt", 1},
      {"*.*", "readme", 1},
      {"*.*", "dir/sub/file.txt", 1},
      {"*.*", "dir/file", 1},
      {"*.*", "", 1},
      {"*", "anything/at.all", 1},
      {"*.txt", "dir/a.txt", 1},  // the whole name, directories included
      {"a*", "dir/a.txt", 0},     // never the last component alone
      {"*/b.txt", "a/b.txt", 1},
      // '?' is one character other than '.' and '/', or nothing.
      {"DOC?.TXT", "doc.txt", 1},
      {"DOC?.TXT", "doc1.txt", 1},
      {"DOC?.TXT", "doc12.txt", 0},
      {"a?b", "a/b", 0},
      {"a?b", "axb", 1},
      {"a??", "a", 1},
      // A trailing '.' or ".*" also selects a name without a dot.
      {"readme.", "readme", 1},
      {"readme.*", "readme", 1},
      {"readme.*", "readme.md", 1},
      {"readme.", "readme.md", 0},
      {"a.b", "ab", 0},
      {"a.b", "axb", 0},
      // Letters compare without case; the pattern's end must meet the name's end.
      {"README.TXT", "readme.txt", 1},
      {"readme.txt", "README.TXT", 1},
      {"abc", "abcd", 0},
      {"abcd", "abc", 0},
      {"", "", 1},
      {"", "a", 0},
      // Names are UTF-8. 1252 letters match as their bytes always did: ASCII case folded, two
      // characters that differ only in the top bit of their 1252 byte alike (ã is E3, c is 63).
      {u8"relatório.*", u8"relatório.doc", 1},
      {u8"RELATÓRIO.*", u8"relatório.doc", 0},
      {u8"ação", u8"acco", 0},
      {u8"?.txt", u8"ã.txt", 1},
      {u8"c", u8"ã", 1},
      // Beyond 1252, letters compare without case as Windows compares them.
      {u8"ПРИВЕТ.*", u8"Привет.txt", 1},
      {u8"*.TXT", u8"αβγ.txt", 1},
      {u8"ΑΒΓ.txt", u8"αβγ.txt", 1},
      {u8"Ж.txt", u8"Щ.txt", 0},  // one character outside 1252 each: never alike
      {u8"?.txt", u8"😀.txt", 1},  // one character, however many bytes
      {u8"日本語/*", u8"日本語/ファイル.txt", 1},
  };
  for (const WildcardCase& c : cases) {
    EXPECT_EQ(MatchWildcard(c.pattern, c.name), c.match) << c.pattern << " vs " << c.name;
  }
}

class NameListTest : public ::testing::Test {
 protected:
  int Match(const std::string& name) {
    return MatchNameLists(lists_, name.data(), static_cast<uint32_t>(name.size()));
  }
  NameLists lists_;
};

TEST_F(NameListTest, ExcludeWinsOverEveryInclude) {
  lists_.include.push_back("*.txt");
  lists_.include.push_back("secret.*");
  lists_.exclude.push_back("secret.*");
  EXPECT_EQ(Match("a.txt"), 1);
  EXPECT_EQ(Match("secret.txt"), 0);
  EXPECT_EQ(Match("b.doc"), 0);
}

TEST_F(NameListTest, BackslashesInPatternsAndNamesAreSeparators) {
  // Patterns get '/' separators when the command line is read; stored names when matched.
  RunRequest request;
  ASSERT_TRUE(ParseRequest({"docs\\*.*"}, &request).ok());
  EXPECT_EQ(request.names.include, std::vector<std::string>{"docs/*.*"});
  lists_ = request.names;
  EXPECT_EQ(Match("docs\\a.txt"), 1);
  EXPECT_EQ(Match("docs/a.txt"), 1);
  EXPECT_EQ(Match("src/a.txt"), 0);
}

TEST_F(NameListTest, NoIncludePatternsSelectsAllButTheExcluded) {
  EXPECT_EQ(Match("x"), 1);
  lists_.exclude.push_back("x");
  EXPECT_EQ(Match("x"), 0);
  EXPECT_EQ(Match("y"), 1);
}

TEST_F(NameListTest, IncludesKeepTheGivenOrderApartFromTheExcludes) {
  RunRequest request;
  ASSERT_TRUE(ParseRequest({"first", "-EXCLUDE=kept", "second", "third"}, &request).ok());
  EXPECT_EQ(request.names.include, (std::vector<std::string>{"first", "second", "third"}));
  EXPECT_EQ(request.names.exclude, std::vector<std::string>{"kept"});
}

TEST_F(NameListTest, NamesAreNotReadPastTheirLength) {
  // Stored names are not terminated: the length given is all there is.
  lists_.include.push_back("a.txt");
  const char stored[] = "a.txtGARBAGE";
  EXPECT_EQ(MatchNameLists(lists_, stored, 5), 1);
  EXPECT_EQ(MatchNameLists(lists_, stored, 6), 0);
}

class SelectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    options_.command = kCommandExtract;
    destination_ = dir_.path() + "/";
  }
  int Select(const CentralHeaderFields& fields) {
    CentralHeaderBytes bytes(fields);
    return SelectEntry(names_, options_, bytes.get());
  }
  int Target(const CentralHeaderFields& fields) {
    CentralHeaderBytes bytes(fields);
    return SelectByTarget(options_, destination_.c_str(), bytes.get());
  }
  // The DOS date-time the file system reports for a file in the destination.
  uint32_t OnDiskTime(const std::string& name) {
    FindInfo info{};
    SearchHandle search = findFirst(dir_.file(name).c_str(), &info);
    EXPECT_NE(search, kNoSearch);
    if (search != kNoSearch) endSearch(search);
    return info.lastWrite;
  }

  TempDir dir_;
  RunOptions options_;
  NameLists names_;
  std::string destination_;
};

uint32_t Stamp(int year, int month, int day, int hour, int minute) {
  uint32_t date = static_cast<uint32_t>(((year - 1980) << 9) | (month << 5) | day);
  uint32_t time = static_cast<uint32_t>((hour << 11) | (minute << 5));
  return (date << 16) | time;
}

TEST_F(SelectionTest, DateFilters) {
  struct Case {
    int filter;
    uint32_t stamp;
    int selected;
  };
  const uint32_t day = Stamp(2024, 3, 15, 0, 0);
  options_.AfterDate = day;
  options_.BeforeDate = day;
  const Case cases[] = {
      {0, Stamp(1990, 1, 1, 0, 0), 1},
      {kFilterAfter, day, 1},  // from the given day on, time 0 included
      {kFilterAfter, Stamp(2024, 3, 14, 23, 59), 0},
      {kFilterAfter, Stamp(2030, 1, 1, 0, 0), 1},
      {kFilterBefore, day, 1},
      {kFilterBefore, Stamp(2024, 3, 15, 0, 1), 0},  // a later time of that day compares greater
      {kFilterBefore, Stamp(2024, 3, 14, 12, 0), 1},
      {kFilterAfter | kFilterBefore, day, 1},
      {kFilterAfter | kFilterBefore, Stamp(2024, 3, 16, 0, 0), 0},
  };
  names_.include.push_back("*.*");
  for (const Case& c : cases) {
    options_.dateFilter = c.filter;
    CentralHeaderFields fields = EntryNamed("f.txt");
    fields.dosDateTime = c.stamp;
    EXPECT_EQ(Select(fields), c.selected) << std::hex << c.filter << " " << c.stamp;
  }
}

TEST_F(SelectionTest, NamePatternsComeBeforeDates) {
  names_.include.push_back("*.txt");
  names_.exclude.push_back("old.*");
  EXPECT_EQ(Select(EntryNamed("new.txt")), 1);
  EXPECT_EQ(Select(EntryNamed("old.txt")), 0);
  EXPECT_EQ(Select(EntryNamed("new.doc")), 0);
}

TEST_F(SelectionTest, FreshenAndUpdateAgainstFilesOnDisk) {
  dir_.write("there.txt", "on disk");
  const uint32_t onDisk = OnDiskTime("there.txt");
  ASSERT_NE(onDisk, 0u);
  struct Case {
    ExtractSelection selection;
    const char* name;
    uint32_t stamp;
    int selected;
  };
  const Case cases[] = {
      {kSelectUpdate, "missing.txt", onDisk, 1},
      {kSelectUpdate, "there.txt", onDisk + 1, 1},
      {kSelectUpdate, "there.txt", onDisk, 0},  // same DOS time: not newer
      {kSelectUpdate, "there.txt", onDisk - 1, 0},
      {kSelectFreshen, "missing.txt", onDisk, 0},
      {kSelectFreshen, "there.txt", onDisk + 1, 1},
      {kSelectFreshen, "there.txt", onDisk, 0},
      {kSelectFreshen, "there.txt", onDisk - 1, 0},
      {kSelectAll, "missing.txt", onDisk, 1},
      {kSelectAll, "there.txt", onDisk - 1, 1},
  };
  for (Command command : {kCommandExtract, kCommandTest}) {
    options_.command = command;
    for (const Case& c : cases) {
      options_.extractSelection = c.selection;
      CentralHeaderFields fields = EntryNamed(c.name);
      fields.dosDateTime = c.stamp;
      EXPECT_EQ(Target(fields), c.selected) << command << " " << c.selection << " " << c.name << " " << c.stamp - onDisk;
    }
  }
  // Other commands do not compare with the disk.
  options_.command = kCommandPrint;
  options_.extractSelection = kSelectFreshen;
  EXPECT_EQ(Target(EntryNamed("missing.txt")), 1);
}

TEST_F(SelectionTest, FreshenFindsFilesInSubdirectoriesThroughBackslashNames) {
  mkdir(dir_.file("sub").c_str(), 0755);
  dir_.write("sub/f.txt", "x");
  const uint32_t onDisk = OnDiskTime("sub/f.txt");
  options_.extractSelection = kSelectFreshen;
  CentralHeaderFields fields = EntryNamed("sub\\f.txt");
  fields.dosDateTime = onDisk + 1;
  EXPECT_EQ(Target(fields), 1);
}

TEST_F(SelectionTest, TargetPathsTooLongForABufferAreNeverOnDisk) {
  // No file can be there: an update takes the entry (its extraction then refuses it with a
  // warning), a freshen has nothing to freshen.
  options_.extractSelection = kSelectUpdate;
  EXPECT_EQ(Target(EntryNamed(std::string(300, 'n'))), 1);
  options_.extractSelection = kSelectFreshen;
  EXPECT_EQ(Target(EntryNamed(std::string(300, 'n'))), 0);
}

TEST_F(SelectionTest, DirectoryEntriesNeedDirectoriesUnlessTesting) {
  struct Case {
    Command command;
    bool directories;
    const char* name;
    int selected;
  };
  const Case cases[] = {
      {kCommandExtract, 0, "dir/", 0},  {kCommandExtract, 1, "dir/", 1},
      {kCommandTest, 0, "dir/", 1},     {kCommandPrint, 0, "dir/", 0},
      {kCommandExtract, 0, "dir\\", 0}, {kCommandExtract, 0, "dir/file", 1},
  };
  for (const Case& c : cases) {
    options_.command = c.command;
    options_.Path = c.directories;
    EXPECT_EQ(Target(EntryNamed(c.name)), c.selected) << c.command << " " << c.directories << " " << c.name;
  }
}

}  // namespace
