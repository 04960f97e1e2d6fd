// Directory searches: Windows wildcard rules, case-blind names, the order and contents of what
// is reported, and the failures callers tell apart.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <utime.h>

#include <cstring>
#include <string>
#include <vector>

#include "fs/fs.h"
#include "temp_dir.h"

namespace {

class Search : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"Alpha.TXT", "beta.txt", "gamma.doc", "noext", "a.b.c", "data.html",
                             u8"relatório.txt"}) {
      dir_.write(name, name);
    }
    mkdir(dir_.file("Sub").c_str(), 0755);
  }

  // Every name a search for pattern (inside the test directory) reports, in order.
  std::vector<std::string> Find(const std::string& pattern) {
    std::vector<std::string> names;
    FindInfo info{};
    SearchHandle search = findFirst((dir_.path() + "/" + pattern).c_str(), &info);
    if (search == kNoSearch) return names;
    do {
      names.push_back(info.name);
    } while (findNext(search, &info) == 0);
    EXPECT_EQ(lastError(), kErrorNoMoreFiles);
    EXPECT_EQ(endSearch(search), 0);
    return names;
  }

  TempDir dir_;
};

using Names = std::vector<std::string>;

TEST_F(Search, WildcardsMatchAsWindowsMatchesThem) {
  const char* relatorio = "relatório.txt";
  struct Case {
    const char* pattern;
    Names expected;
  };
  const Case cases[] = {
      {"*", {".", "..", "a.b.c", "Alpha.TXT", "beta.txt", "data.html", "gamma.doc", "noext", relatorio, "Sub"}},
      {"*.*", {".", "..", "a.b.c", "Alpha.TXT", "beta.txt", "data.html", "gamma.doc", "noext", relatorio, "Sub"}},
      {"*.txt", {"Alpha.TXT", "beta.txt", relatorio}},
      {"*.TxT", {"Alpha.TXT", "beta.txt", relatorio}},
      {"ALPHA.txt", {"Alpha.TXT"}},
      {"?eta.txt", {"beta.txt"}},
      {"b???.*", {"beta.txt"}},
      {"gamma.do?", {"gamma.doc"}},
      {"gamma.doc?", {"gamma.doc"}},  // '?' also matches nothing at the end of the name
      {"bet??.txt", {"beta.txt"}},    // ... and before a '.'
      {"*.", {".", "..", "noext", "Sub"}},  // names without an extension
      {"noext.*", {"noext"}},
      {"a*.*", {"a.b.c", "Alpha.TXT"}},
      {"*.b.*", {"a.b.c"}},
      {"*.c", {"a.b.c"}},
      {"*.htm", {}},  // no 8.3 alias to match "data.html" through
      {"*a*", {"a.b.c", "Alpha.TXT", "beta.txt", "data.html", "gamma.doc", relatorio}},
      {"RELATÓRIO.*", {relatorio}},  // case-blind beyond ASCII
      {"sub", {"Sub"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    EXPECT_EQ(Find(c.pattern), c.expected);
  }
}

TEST_F(Search, NothingFoundAnswersMinusOneAndLeavesTheRecordAlone) {
  FindInfo info{};
  std::memset(&info, 0x5A, sizeof info);
  FindInfo before = info;

  EXPECT_EQ(findFirst(dir_.file("*.xyz").c_str(), &info), kNoSearch);
  EXPECT_EQ(lastError(), kErrorFileNotFound);
  EXPECT_EQ(findFirst(dir_.file("absent.txt").c_str(), &info), kNoSearch);
  EXPECT_EQ(lastError(), kErrorFileNotFound);
  EXPECT_EQ(findFirst(dir_.file("nowhere/*.txt").c_str(), &info), kNoSearch);
  EXPECT_EQ(lastError(), kErrorPathNotFound);
  EXPECT_EQ(findFirst(dir_.file("beta.txt/x").c_str(), &info), kNoSearch);
  EXPECT_EQ(lastError(), kErrorPathNotFound);
  EXPECT_EQ(findFirst((dir_.path() + "/").c_str(), &info), kNoSearch);  // no name part
  EXPECT_EQ(lastError(), kErrorFileNotFound);
  EXPECT_EQ(std::memcmp(&info, &before, sizeof info), 0);

  EXPECT_EQ(findNext(12345, &info), 1);
  EXPECT_EQ(endSearch(12345), 1);
}

TEST_F(Search, BackslashesSeparateLikeSlashes) {
  FindInfo info{};
  SearchHandle search = findFirst((dir_.path() + "\\Sub\\..\\beta.txt").c_str(), &info);
  ASSERT_NE(search, kNoSearch);
  EXPECT_STREQ(info.name, "beta.txt");
  endSearch(search);
}

TEST_F(Search, TheRecordCarriesAttributesSizeAndTimes) {
  dir_.write("ro.txt", "12345");
  chmod(dir_.file("ro.txt").c_str(), 0444);
  utimbuf times{};
  times.actime = 1000000000;   // 2001-09-09 01:46:40 UTC
  times.modtime = 1200000000;  // 2008-01-10 21:20:00 UTC
  utime(dir_.file("ro.txt").c_str(), &times);

  FindInfo info{};
  SearchHandle search = findFirst(dir_.file("RO.TXT").c_str(), &info);
  ASSERT_NE(search, kNoSearch);
  endSearch(search);
  EXPECT_STREQ(info.name, "ro.txt");
  EXPECT_STREQ(info.shortName, "");  // Linux keeps no 8.3 aliases
  EXPECT_EQ(info.size, 5u);
  EXPECT_EQ(info.attributes, kAttrArchive | kAttrReadOnly);
  const uint64_t write = (static_cast<uint64_t>(info.rawTimes[2].high) << 32) | info.rawTimes[2].low;
  const uint64_t access = (static_cast<uint64_t>(info.rawTimes[1].high) << 32) | info.rawTimes[1].low;
  EXPECT_EQ(write, (1200000000ULL + 11644473600ULL) * 10000000ULL);
  EXPECT_EQ(access, (1000000000ULL + 11644473600ULL) * 10000000ULL);
  EXPECT_EQ(info.lastWrite, toDosDateTime(info.rawTimes[2]));
  EXPECT_EQ(info.lastAccess, toDosDateTime(info.rawTimes[1]));

  search = findFirst(dir_.file("Sub").c_str(), &info);
  ASSERT_NE(search, kNoSearch);
  endSearch(search);
  EXPECT_EQ(info.attributes, kAttrDirectory);
}

TEST_F(Search, TheExactSpellingComesFirstWhenSpellingsDifferOnlyInCase) {
  dir_.write("Same.txt", "1");
  dir_.write("same.txt", "22");
  EXPECT_EQ(Find("same.txt"), Names({"same.txt"}));
  EXPECT_EQ(Find("Same.txt"), Names({"Same.txt"}));
  Names both = Find("SAME.TXT");
  ASSERT_EQ(both.size(), 2u);
  EXPECT_NE(both[0], both[1]);
}

TEST_F(Search, OtherSpellingsStayFindableAsTheDirectoryChanges) {
  EXPECT_EQ(Find("NOVO.TXT"), Names({}));

  // Made through this layer.
  { FileStream made(dir_.file("Novo.txt").c_str(), kGenericWrite, kShareNone, kCreateAlways, kAttrNormal); }
  EXPECT_EQ(Find("NOVO.TXT"), Names({"Novo.txt"}));
  ASSERT_EQ(makeDirectory(dir_.file("Pasta").c_str(), nullptr), 0);
  EXPECT_EQ(Find("pasta"), Names({"Pasta"}));
  ASSERT_EQ(deleteFile(dir_.file("Novo.txt").c_str()), 0);
  EXPECT_EQ(Find("NOVO.TXT"), Names({}));

  // Made by someone else: the directory's modification time tells.
  dir_.write("Outro.txt", "x");
  timespec times[2] = {{0, UTIME_OMIT}, {1234567890, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, dir_.path().c_str(), times, 0), 0);
  EXPECT_EQ(Find("OUTRO.TXT"), Names({"Outro.txt"}));
}

TEST_F(Search, TheRootDirectoryHasNoDotEntries) {
  FindInfo info{};
  SearchHandle search = findFirst("/*", &info);
  ASSERT_NE(search, kNoSearch);
  do {
    EXPECT_STRNE(info.name, ".");
    EXPECT_STRNE(info.name, "..");
  } while (findNext(search, &info) == 0);
  endSearch(search);
}

}  // namespace
