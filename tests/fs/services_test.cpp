// File-system services: DOS times in local time, attributes, paths, directories, volumes, and
// the small helpers of the layer.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "fs/fs.h"
#include "temp_dir.h"

namespace {

uint32_t Dos(int year, int month, int day, int hour, int minute, int second) {
  return (static_cast<uint32_t>(((year - 1980) << 9) | (month << 5) | day) << 16) |
         static_cast<uint32_t>((hour << 11) | (minute << 5) | (second / 2));
}

uint64_t Units(const FileTime& t) { return (static_cast<uint64_t>(t.high) << 32) | t.low; }

FileTime FromUnix(int64_t seconds) {
  uint64_t units = static_cast<uint64_t>(seconds + 11644473600LL) * 10000000ULL;
  return FileTime{static_cast<uint32_t>(units), static_cast<uint32_t>(units >> 32)};
}

// Runs the test body under a time zone given as a POSIX rule (no zone files needed).
class InZone : public ::testing::Test {
 protected:
  void Use(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
  }
  void SetUp() override {
    const char* old = std::getenv("TZ");
    hadZone_ = old != nullptr;
    if (old) savedZone_ = old;
  }
  void TearDown() override {
    if (hadZone_) setenv("TZ", savedZone_.c_str(), 1); else unsetenv("TZ");
    tzset();
  }

 private:
  bool hadZone_ = false;
  std::string savedZone_;
};

using DosTimes = InZone;

TEST_F(DosTimes, ADosTimeIsLocalTimeByTheRuleOfItsOwnDate) {
  Use("EST5EDT,M3.2.0,M11.1.0");  // UTC-5 in winter, UTC-4 in summer
  struct Case {
    uint32_t dos;
    int64_t utcSeconds;
  };
  const Case cases[] = {
      {Dos(2000, 1, 15, 12, 0, 0), 947955600},    // 17:00 UTC
      {Dos(2000, 7, 15, 12, 0, 0), 963676800},    // 16:00 UTC
      {Dos(1980, 1, 1, 0, 0, 0), 315550800},      // the first DOS moment
      {Dos(2099, 12, 31, 23, 59, 58), 4102462798},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dos);
    FileTime utc{};
    ASSERT_EQ(dosToFileTime(static_cast<uint16_t>(c.dos >> 16), static_cast<uint16_t>(c.dos), &utc), 0);
    EXPECT_EQ(Units(utc), Units(FromUnix(c.utcSeconds)));
    EXPECT_EQ(toDosDateTime(utc), c.dos);
  }
}

TEST_F(DosTimes, TimesADosValueCannotHoldGiveZero) {
  Use("UTC0");
  EXPECT_EQ(toDosDateTime(FromUnix(315532799)), 0u);  // 1979-12-31 23:59:59
  EXPECT_NE(toDosDateTime(FromUnix(315532800)), 0u);  // 1980-01-01 00:00:00
  EXPECT_EQ(toDosDateTime(FileTime{0, 0}), 0u);        // 1601
  EXPECT_EQ(toDosDateTime(FromUnix(4354819200LL)), 0u);  // 2108-01-01
  // Odd seconds are rounded down to the two-second grain.
  EXPECT_EQ(toDosDateTime(FromUnix(315532801)), Dos(1980, 1, 1, 0, 0, 0));
  // A pre-1980 time is only pre-1980 in local time: 1980-01-01 01:00 UTC is 1979 in New York.
  Use("EST5");
  EXPECT_EQ(toDosDateTime(FromUnix(315536400)), 0u);
}

TEST_F(DosTimes, DosValuesThatNameNoMomentAreRefused) {
  Use("UTC0");
  const uint32_t bad[] = {
      Dos(2001, 13, 1, 0, 0, 0), Dos(2001, 0, 1, 0, 0, 0), Dos(2001, 2, 29, 0, 0, 0),
      Dos(2001, 4, 31, 0, 0, 0), Dos(2001, 1, 0, 0, 0, 0), Dos(2001, 1, 1, 24, 0, 0),
      Dos(2001, 1, 1, 0, 60, 0), Dos(2001, 1, 1, 0, 0, 60),
  };
  for (uint32_t dos : bad) {
    SCOPED_TRACE(dos);
    FileTime out{123, 456};
    EXPECT_EQ(dosToFileTime(static_cast<uint16_t>(dos >> 16), static_cast<uint16_t>(dos), &out), 1);
    EXPECT_EQ(out.low, 123u);
  }
  FileTime leap{};
  EXPECT_EQ(dosToFileTime(static_cast<uint16_t>(Dos(2000, 2, 29, 0, 0, 0) >> 16), 0, &leap), 0);
}

TEST_F(DosTimes, AFileTakesItsTimesThroughItsHandleAndGivesThemBack) {
  Use("EST5EDT,M3.2.0,M11.1.0");
  TempDir dir;
  FileHandle handle = createFile(dir.file("t.txt").c_str(), kGenericWrite, kShareNone, kCreateAlways, kAttrNormal);
  ASSERT_NE(handle, kInvalidHandle);

  const uint32_t write = Dos(2003, 8, 9, 10, 11, 12);
  const uint32_t access = Dos(2004, 2, 3, 4, 5, 6);
  ASSERT_EQ(setFileTimes(handle, nullptr, nullptr, &access, &write, nullptr, 0), 0);
  uint32_t c = 1, a = 1, w = 1;
  ASSERT_EQ(fileTimesOf(handle, &c, &a, &w), 0);
  EXPECT_EQ(w, write);
  EXPECT_EQ(a, access);
  EXPECT_NE(c, 0u);

  // Null leaves a time alone, and so does a DOS value that names no moment.
  const uint32_t invalid = Dos(2005, 13, 40, 0, 0, 0);
  ASSERT_EQ(setFileTimes(handle, nullptr, nullptr, nullptr, &invalid, nullptr, 0), 0);
  ASSERT_EQ(fileTimesOf(handle, &c, &a, &w), 0);
  EXPECT_EQ(w, write);
  EXPECT_EQ(a, access);

  // Raw times: only the selected ones (1 last access, 2 last write) are applied.
  const FileTime raw[3] = {FromUnix(1100000000), FromUnix(1110000000), FromUnix(1120000000)};
  ASSERT_EQ(setFileTimes(handle, nullptr, &write, &write, &write, raw, 2), 0);
  ASSERT_EQ(fileTimesOf(handle, &c, &a, &w), 0);
  EXPECT_EQ(w, toDosDateTime(raw[2]));
  EXPECT_EQ(a, access);
  ASSERT_EQ(setFileTimes(handle, nullptr, nullptr, nullptr, nullptr, raw, 1 | 4), 0);
  ASSERT_EQ(fileTimesOf(handle, &c, &a, &w), 0);
  EXPECT_EQ(a, toDosDateTime(raw[1]));
  EXPECT_EQ(closeFile(handle), 0);

  struct stat st;
  ASSERT_EQ(stat(dir.file("t.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1120000000);

  EXPECT_EQ(setFileTimes(kInvalidHandle, dir.file("t.txt").c_str(), nullptr, nullptr, &write, nullptr, 0), 1);
  EXPECT_EQ(fileTimesOf(kInvalidHandle, &c, &a, &w), 1);
  EXPECT_EQ(c | a | w, 0u);
}

TEST(Attributes, ReadOnlyIsTheAbsenceOfWriteBits) {
  TempDir dir;
  dir.write("f.txt", "x");
  const std::string file = dir.file("f.txt");
  uint32_t attributes = 0;
  ASSERT_EQ(getAttributes(file.c_str(), &attributes), 0);
  EXPECT_EQ(attributes, kAttrArchive);

  // Hidden, system and compressed have no Linux form; they are taken and change nothing else.
  ASSERT_EQ(setAttributes(file.c_str(), kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrCompressed), 0);
  struct stat st;
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0222, 0u);
  ASSERT_EQ(getAttributes(file.c_str(), &attributes), 0);
  EXPECT_EQ(attributes, kAttrArchive | kAttrReadOnly);
  EXPECT_EQ(deleteFile(file.c_str()), 1);  // Windows keeps read-only files from deletion
  EXPECT_EQ(lastError(), kErrorAccessDenied);

  ASSERT_EQ(setAttributes(file.c_str(), kAttrNormal), 0);
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_NE(st.st_mode & S_IWUSR, 0u);
  EXPECT_EQ(st.st_mode & S_IWOTH, 0u);  // never writable by everyone
  EXPECT_EQ(deleteFile(file.c_str()), 0);
  EXPECT_FALSE(dir.exists("f.txt"));
}

TEST(Attributes, DirectoriesStayWritableWhateverTheReadOnlyBitSays) {
  TempDir dir;
  const std::string sub = dir.file("sub");
  ASSERT_EQ(makeDirectory(sub.c_str(), nullptr), 0);
  ASSERT_EQ(setAttributes(sub.c_str(), kAttrDirectory | kAttrReadOnly), 0);
  uint32_t attributes = 0;
  ASSERT_EQ(getAttributes(sub.c_str(), &attributes), 0);
  EXPECT_EQ(attributes, kAttrDirectory);
  FileStream inside((sub + "/new.txt").c_str(), kGenericWrite, kShareNone, kCreateAlways, kAttrNormal);
  EXPECT_EQ(inside.isOpen(), 1);
}

TEST(Attributes, AMissingPathAnswersAllOnes) {
  TempDir dir;
  uint32_t attributes = 0;
  EXPECT_EQ(getAttributes(dir.file("absent").c_str(), &attributes), 1);
  EXPECT_EQ(attributes, kInvalidAttributes);
  EXPECT_EQ(lastError(), kErrorFileNotFound);
  EXPECT_EQ(getAttributes(dir.file("none/absent").c_str(), &attributes), 1);
  EXPECT_EQ(lastError(), kErrorPathNotFound);
  EXPECT_EQ(setAttributes(dir.file("absent").c_str(), kAttrNormal), 1);
}

TEST(Directories, MakeAndDeleteFailLikeWindows) {
  TempDir dir;
  const std::string sub = dir.file("sub");
  EXPECT_EQ(makeDirectory(sub.c_str(), nullptr), 0);
  EXPECT_EQ(makeDirectory(sub.c_str(), nullptr), 1);
  EXPECT_EQ(lastError(), 183);  // already exists
  EXPECT_EQ(makeDirectory(dir.file("a/b").c_str(), nullptr), 1);
  EXPECT_EQ(lastError(), kErrorPathNotFound);
  EXPECT_EQ(deleteFile(sub.c_str()), 1);
  EXPECT_EQ(lastError(), kErrorAccessDenied);
  EXPECT_EQ(deleteFile(dir.file("absent").c_str()), 1);
  EXPECT_EQ(lastError(), kErrorFileNotFound);
  EXPECT_EQ(deleteFile(dir.file("none/absent").c_str()), 1);
  EXPECT_EQ(lastError(), kErrorPathNotFound);
}

TEST(Paths, FullPathsFoldDotsAndPointAtTheFilePart) {
  TempDir dir;
  mkdir(dir.file("sub").c_str(), 0755);
  char saved[4096];
  ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
  ASSERT_EQ(setCurrentDir(dir.file("sub").c_str()), 0);
  char* real = realpath(dir.path().c_str(), nullptr);
  const std::string base = real;
  std::free(real);

  struct Case {
    const char* path;
    std::string full;
    const char* filePart;  // null: none
  };
  const Case cases[] = {
      {"x.txt", base + "/sub/x.txt", "x.txt"},
      {"..\\y.txt", base + "/y.txt", "y.txt"},
      {"./new/../z.txt", base + "/sub/z.txt", "z.txt"},
      {"missing/deeper/../w", base + "/sub/missing/w", "w"},
      {"../sub/", base + "/sub/", nullptr},
      {"/", "/", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    PathBuffer out;
    char* part = fullPathOf(out, c.path);
    EXPECT_EQ(std::string(out), c.full);
    if (c.filePart) {
      ASSERT_NE(part, nullptr);
      EXPECT_STREQ(part, c.filePart);
      EXPECT_TRUE(part >= out.get() && part < out.get() + kLongPathSize);
    } else {
      EXPECT_EQ(part, nullptr);
    }
  }

  // A path past the classic 260 characters resolves whole; one past the longest path Windows
  // takes comes back as given (as much as the buffer holds), with no file part.
  PathBuffer out;
  const std::string longName = std::string(250, 'n') + "/" + std::string(250, 'm');
  char* part = fullPathOf(out, longName.c_str());
  EXPECT_EQ(std::string(out), base + "/sub/" + longName);
  ASSERT_NE(part, nullptr);
  EXPECT_EQ(std::string(part), std::string(250, 'm'));
  std::string tooLong;
  while (tooLong.size() < static_cast<size_t>(kLongPathSize)) tooLong += std::string(200, 'n') + "/";
  EXPECT_EQ(fullPathOf(out, tooLong.c_str()), nullptr);
  EXPECT_EQ(std::string(out), tooLong.substr(0, kLongPathSize - 1));

  char current[kPathSize];
  ASSERT_EQ(getCurrentDir(current), 0);
  EXPECT_EQ(std::string(current), base + "/sub");
  EXPECT_EQ(setCurrentDir(dir.file("absent").c_str()), 1);
  EXPECT_EQ(lastError(), kErrorFileNotFound);
  ASSERT_EQ(chdir(saved), 0);
}

TEST(Paths, ShortPathsAreThePathsThemselves) {
  char out[kPathSize];
  EXPECT_EQ(shortPathOf(out, "/tmp/Um Nome Longo.txt", kPathSize), out);
  EXPECT_STREQ(out, "/tmp/Um Nome Longo.txt");
  char small[5];
  shortPathOf(small, "/tmp/abc", sizeof small);
  EXPECT_STREQ(small, "/tmp");
}

TEST(Paths, ProgramAndTemporaryDirectory) {
  char module[kPathSize];
  ASSERT_EQ(moduleFileName(module, kPathSize), 0);
  const std::string name = module;
  EXPECT_EQ(name.substr(name.rfind('/') + 1), "test_fs");
  char tiny[4];
  EXPECT_EQ(moduleFileName(tiny, sizeof tiny), 1);

  const char* old = std::getenv("TMPDIR");
  const std::string saved = old ? old : "";
  char temp[kPathSize];
  setenv("TMPDIR", "/var/tmp", 1);
  EXPECT_EQ(tempDirectory(temp, kPathSize), 9);
  EXPECT_STREQ(temp, "/var/tmp/");
  unsetenv("TMPDIR");
  EXPECT_EQ(tempDirectory(temp, kPathSize), 5);
  EXPECT_STREQ(temp, "/tmp/");
  EXPECT_EQ(tempDirectory(temp, 5), 0);  // no room for the terminating NUL
  if (old) setenv("TMPDIR", saved.c_str(), 1);
}

TEST(Volumes, EveryDriveIsFixedAndHasNoLabel) {
  for (const char* path : {"/tmp/x", "C:\\x", "\\\\server\\share\\x", "a:", ""}) {
    EXPECT_EQ(driveTypeOf(path), kDriveFixed) << path;
  }
  char label[kPathSize] = "stale";
  uint32_t serial = 77;
  EXPECT_EQ(volumeLabelOf("/tmp", label, nullptr, &serial), 1);
  EXPECT_STREQ(label, "");
  EXPECT_EQ(serial, 0u);

  char newLabel[] = "DISCO.1";
  EXPECT_EQ(setVolumeLabel("a:\\", newLabel), 1);
  EXPECT_STREQ(newLabel, "DISCO 1");  // the caller's buffer changes as on Windows
  char plain[] = "DISCO.2";
  EXPECT_EQ(setVolumeLabel(nullptr, plain), 1);
  EXPECT_STREQ(plain, "DISCO.2");
}

TEST(Helpers, ExpandYear) {
  const struct {
    uint16_t in, out;
  } cases[] = {{80, 1980}, {99, 1999}, {0, 2000}, {79, 2079}, {100, 2100}, {1999, 3999}};
  for (auto c : cases) {
    uint16_t year = c.in;
    expandYear(&year);
    EXPECT_EQ(year, c.out) << c.in;
  }
}

TEST(Helpers, KeepAttributesKeepsReadOnlyHiddenSystemDirectoryAndNormal) {
  EXPECT_EQ(keepAttributes(0xFFFFFFFFu), 0x97u);
  EXPECT_EQ(keepAttributes(kAttrArchive | kAttrVolumeLabel | kAttrCompressed), 0u);
  EXPECT_EQ(keepAttributes(kAttrReadOnly | kAttrArchive), kAttrReadOnly);
}

TEST(Helpers, FindColonFirstOrLast) {
  const char text[] = "a:b:c";
  EXPECT_EQ(findColon(text, 1), text + 1);
  EXPECT_EQ(findColon(text, 0), text + 3);
  EXPECT_EQ(findColon(text, 2), text + 3);
  EXPECT_EQ(findColon("abc", 1), nullptr);
  EXPECT_EQ(findColon("abc", 0), nullptr);
}

TEST(Helpers, UpperCaseChangesOnlyAsciiLetters) {
  char text[] = "abc xyz-ação ÿ{}`@";
  EXPECT_EQ(upperCaseText(text), text);
  EXPECT_STREQ(text, "ABC XYZ-AçãO ÿ{}`@");
  EXPECT_EQ(upperCaseChar('q'), 'Q');
  EXPECT_EQ(upperCaseChar(0xE7), 0xE7);
  EXPECT_EQ(upperCaseChar('{'), '{');
}

}  // namespace
