// The 1252 <-> UTF-8 conversion, and paths crossing the file layer in 1252 while Linux keeps
// their names in UTF-8.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "fs/codepage.h"
#include "fs/fs.h"
#include "temp_dir.h"

namespace {

TEST(CodePage, EveryByteHasAUtf8FormAndComesBack) {
  std::string all;
  for (int c = 1; c < 256; ++c) all.push_back(static_cast<char>(c));
  EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(all)), all);
}

TEST(CodePage, KnownCharacters) {
  struct Case {
    std::string ansi;
    std::string utf8;
  };
  const Case cases[] = {
      {"N\xE3o posso criar", u8"Não posso criar"},
      {"\x80", u8"€"},
      {"\x8A\x9A\x9F", u8"ŠšŸ"},
      {"\x93\x94\x96", u8"“”–"},
      {"\xA0\xFF", u8"\u00A0ÿ"},
      {"\x81\x8D", "\xC2\x81\xC2\x8D"},  // undefined in 1252: the C1 controls of the same number
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AnsiToUtf8(c.ansi), c.utf8);
    EXPECT_EQ(Utf8ToAnsi(c.utf8), c.ansi);
  }
}

TEST(CodePage, WhatHasNo1252FormBecomesOneUnderscoreEach) {
  struct Case {
    std::string utf8;
    std::string ansi;
  };
  const Case cases[] = {
      {u8"日本.txt", "__.txt"},
      {u8"a😀b", "a_b"},                 // four-byte sequence
      {"a\xFF" "b", "a_b"},              // stray byte
      {"\xC0\xAF", "__"},                // overlong '/'
      {"\xED\xA0\x80", "___"},           // surrogate
      {"x\xC3", "x_"},                   // cut short at the end
      {"\xE2\x82" "A", "__A"},           // cut short by a plain character: two stray bytes
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ansi);
    EXPECT_EQ(Utf8ToAnsi(c.utf8), c.ansi);
  }
}

TEST(CodePage, PathsCrossTheLayerInUtf8AsTheDiskHoldsThem) {
  TempDir dir;
  mkdir(dir.file(u8"relatório").c_str(), 0755);
  dir.write(u8"relatório/mês.txt", "conteúdo");
  const std::string ansiDir = dir.path() + "/relatório";

  // Found and opened through the name.
  FindInfo info{};
  SearchHandle search = findFirst((ansiDir + "/*.txt").c_str(), &info);
  ASSERT_NE(search, kNoSearch);
  endSearch(search);
  EXPECT_STREQ(info.name, "mês.txt");
  FileStream reader((ansiDir + "/mês.txt").c_str(), kGenericRead, kShareRead, kOpenExisting, kAttrNormal);
  ASSERT_EQ(reader.isOpen(), 1);
  EXPECT_EQ(reader.size(), std::string("conteúdo").size());

  // Created through the name: the disk gets the same bytes.
  {
    FileStream writer((ansiDir + "/ação.txt").c_str(), kGenericWrite, kShareNone, kCreateAlways, kAttrNormal);
    ASSERT_EQ(writer.isOpen(), 1);
  }
  EXPECT_TRUE(dir.exists(u8"relatório/ação.txt"));
  EXPECT_EQ(makeDirectory((ansiDir + "\\pé").c_str(), nullptr), 0);
  EXPECT_TRUE(dir.exists(u8"relatório/pé"));

  // Names coming back from the system: full paths and the current directory.
  PathBuffer full;
  char* part = fullPathOf(full, (ansiDir + "/mês.txt").c_str());
  ASSERT_NE(part, nullptr);
  EXPECT_STREQ(part, "mês.txt");
  EXPECT_EQ(std::string(full), ansiDir + "/mês.txt");

  char saved[4096];
  ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
  ASSERT_EQ(setCurrentDir(ansiDir.c_str()), 0);
  char current[kPathSize];
  EXPECT_EQ(getCurrentDir(current), 0);
  EXPECT_EQ(std::string(current), ansiDir);
  ASSERT_EQ(chdir(saved), 0);
}

TEST(CodePage, ANameWithoutA1252FormComesBackExactly) {
  TempDir dir;
  dir.write(u8"日本.txt", "x");
  FindInfo info{};
  SearchHandle search = findFirst(dir.file("*.txt").c_str(), &info);
  ASSERT_NE(search, kNoSearch);
  endSearch(search);
  EXPECT_STREQ(info.name, u8"日本.txt");
}

}  // namespace
