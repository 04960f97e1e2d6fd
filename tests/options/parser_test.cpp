// The option parser: keyword and sub-option matching, argument vectors, list files, name blocks
// and the run-settings record.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "options/option_table.h"
#include "options/parser.h"
#include "options/run_options.h"
#include "options_fixture.h"
#include "temp_dir.h"

namespace {

// --- keyword matching -------------------------------------------------------------------

TEST(MatchOptionKeyword, PrefixesValuesAndAmbiguity) {
  struct Case {
    std::string word;
    int result;
    const char* keyword;  // the row chosen on a unique match
  } cases[] = {
      {"E", kMatchAmbiguous, nullptr},  // EXCLUDE, EXTRACT
      {"EX", kMatchAmbiguous, nullptr},
      {"EXT", kMatchUnique, "EXTRACT"},
      {"ext", kMatchUnique, "EXTRACT"},
      {"eXcL", kMatchUnique, "EXCLUDE"},
      {"TEST", kMatchUnique, "TEST"},
      {"TESTX", kMatchNone, nullptr},  // longer than the keyword, with no '=' or ','
      {"PROMPT", kMatchNone, nullptr},  // a sub-option is no keyword
      {"O=NEVER", kMatchUnique, "OVERWRITE"},
      {"TI=NONE,+MODIFY", kMatchUnique, "TIMES"},
      {"TEST,X", kMatchUnique, "TEST"},
      {"T", kMatchAmbiguous, nullptr},  // TEST, TIMES, TRANSLATE
      {"L", kMatchAmbiguous, nullptr},  // LINKS, LOCALE, LOWERCASE: rows without effect count
      {"N", kMatchAmbiguous, nullptr},  // NAMETYPE, NOEXTENDED
      {"LI", kMatchUnique, "LINKS"},
      {"I", kMatchAmbiguous, nullptr},  // ID, INCLUDE
      {"ID", kMatchUnique, "ID"},
      {"VER", kMatchUnique, "VERSION"},
      {"V", kMatchAmbiguous, nullptr},
      {"DIRECTORIES=", kMatchUnique, "DIRECTORIES"},
      {"", kMatchNone, nullptr},
      {"=TEST", kMatchNone, nullptr},
      {"-TEST", kMatchNone, nullptr},
      {"+", kMatchNone, nullptr},
      {"TEST=" + std::string(74, 'x'), kMatchUnique, "TEST"},  // 79 characters still fit
      {"TEST=" + std::string(75, 'x'), kMatchNone, nullptr},   // 80 do not
      {"PASSWORD=" + std::string(200, 'p'), kMatchNone, nullptr},
  };
  for (const Case& c : cases) {
    uint16_t code = 0xFFFF;
    int index = -1;
    int result = MatchOptionKeyword(c.word.c_str(), OptionTable, &code, &index);
    EXPECT_EQ(result, c.result) << c.word;
    if (c.keyword && result == kMatchUnique) {
      ASSERT_GE(index, 0) << c.word;
      EXPECT_STREQ(OptionTable[index].keyword, c.keyword) << c.word;
      EXPECT_EQ(code, OptionTable[index].code) << c.word;
    }
  }
}

TEST(OptionTable, RowsInOrderWithTheirCodes) {
  struct Row {
    const char* keyword;
    uint16_t code;
    bool handled;
  } expected[] = {
      {"AFTER", 26, true},      {"BEFORE", 28, true},    {"CONSOLE", 13, true},
      {"DIRECTORIES", 32, true}, {"EXCLUDE", 34, true},  {"EXTRACT", 6, true},
      {"FILETYPE", 73, false},  {"HELP", 10, true},      {"ID", 39, false},
      {"INCLUDE", 41, true},    {"LINKS", 37, false},    {"LOCALE", 44, true},
      {"LOWERCASE", 29, false}, {"MASK", 45, true},      {"MORE", 48, true},
      {"NAMETYPE", 51, false},  {"NOEXTENDED", 35, true}, {"OVERWRITE", 57, true},
      {"PASSWORD", 59, true},   {"PERMISSION", 47, false}, {"PRINT", 12, true},
      {"SILENT", 64, true},     {"SORT", 65, true},      {"TEST", 9, true},
      {"TIMES", 71, true},      {"TRANSLATE", 72, false}, {"VERSION", 20, true},
      {"VOLUME", 74, true},     {"WARNING", 58, true},
  };
  int i = 0;
  for (const Row& row : expected) {
    ASSERT_NE(OptionTable[i].keyword, nullptr) << i;
    EXPECT_STREQ(OptionTable[i].keyword, row.keyword);
    EXPECT_EQ(OptionTable[i].code, row.code) << row.keyword;
    EXPECT_EQ(OptionTable[i].handler != nullptr, row.handled) << row.keyword;
    if (i > 0) {
      EXPECT_LT(std::strcmp(OptionTable[i - 1].keyword, row.keyword), 0);
    }
    ++i;
  }
  EXPECT_EQ(OptionTable[i].keyword, nullptr);
}

// --- sub-option matching ----------------------------------------------------------------

TEST(MatchSubOption, AbbreviationsFollowTableOrder) {
  struct Case {
    const SubOptionRow* table;
    const char* text;
    int result;
    int32_t value;
  } cases[] = {
      {SortTable, "NAT", 0, 0},
      {SortTable, "nat", 0, 0},
      {SortTable, "-D", 0, 12},
      {SortTable, "-SIZE", 0, 13},
      {SortTable, "+E", 0, 3},
      {SortTable, "C", 0, 7},
      {SortTable, "NAME", 0, 2},
      {SortTable, "NAMES", 1, 0},
      {SortTable, "X", 1, 0},
      {SortTable, "", 1, 0},
      {SortTable, "=NAME", 1, 0},
      {OverwriteTable, "P", 0, 0},
      {OverwriteTable, "A", 0, 2},
      {OverwriteTable, "n", 0, 1},
      {OverwriteTable, "X", 1, 0},
      {TimesTable, "-ACCESS,+CREATE", 0, -2},  // stops at the ','
      {TimesTable, "NONE=", 0, -8},
      {AttributeTable, "-H", 0, 2},
      {LocaleTable, "ENV", 0, 0},
      {DirectoriesTable, "ALL", 1, 0},
  };
  for (const Case& c : cases) {
    int32_t value = 0;
    EXPECT_EQ(MatchSubOption(c.text, c.table, &value), c.result) << c.text;
    if (c.result == 0) {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
}

// --- argument vectors -------------------------------------------------------------------

TEST_F(OptionsTest, SwitchCharactersAndCase) {
  EXPECT_TRUE(IsSwitchCharacter('-'));
  EXPECT_TRUE(IsSwitchCharacter('/'));
  EXPECT_FALSE(IsSwitchCharacter('@'));
  EXPECT_FALSE(IsSwitchCharacter('+'));

  Parse({"/TEST"});
  EXPECT_EQ(gRunOptions.command, kCommandTest);
  Parse({"-ext"});
  EXPECT_EQ(gRunOptions.command, kCommandExtract);
  Parse({"/o=n"});
  EXPECT_EQ(gRunOptions.Overwrite, kOverwriteNever);
}

TEST_F(OptionsTest, NamesFillArchiveDestinationAndIncludes) {
  archive_.requestedName[0] = 0;
  Parse({"-TEST", "first.zip", "out\\", "x.txt", "*.c"});
  EXPECT_STREQ(archive_.requestedName, "first.zip");
  EXPECT_STREQ(archive_.destination, "out/");
  EXPECT_EQ(Includes(), (std::vector<std::string>{"x.txt", "*.c"}));
}

// '/' opens option words, and it also starts every absolute path on a POSIX file system.
TEST_F(OptionsTest, SlashWordsAreOptionsUnlessTheyArePaths) {
  struct Case {
    const char* word;
    bool option;
  } cases[] = {
      {"/TEST", true},           {"/o=NEVER", true},      {"/PRINT=/dev/lp0", true},
      {"/INCLUDE=src/*.c", true}, {"/tmp/a.zip", false},   {"/tmp/a=b.zip", false},
      {"//server/share/", false}, {"-tmp/a.zip", true},    {"tmp/a.zip", false},
      {"/a.zip", true},  // directly under the root: still an option word
  };
  for (const Case& c : cases) EXPECT_EQ(OpensOptionWord(c.word), c.option) << c.word;

  TempDir dir;
  archive_.requestedName[0] = 0;
  Parse({"/TEST", dir.file("a.zip"), dir.path(), "/INCLUDE=" + dir.file("x")});
  EXPECT_EQ(gRunOptions.command, kCommandTest);
  EXPECT_EQ(std::string(archive_.requestedName), dir.file("a.zip"));
  EXPECT_EQ(std::string(archive_.destination), dir.path() + "/");
  EXPECT_EQ(Includes(), std::vector<std::string>{dir.file("x")});
}

TEST_F(OptionsTest, SettingsStayAcrossVectors) {
  Parse({"-OVERWRITE=NEVER", "-DIRECTORIES"});
  Parse({"-TEST"});
  EXPECT_EQ(gRunOptions.Overwrite, kOverwriteNever);
  EXPECT_EQ(gRunOptions.Path, 1);
  EXPECT_EQ(gRunOptions.command, kCommandTest);
}

TEST_F(OptionsTest, WithoutArchiveStateOptionsStillParse) {
  gArchiveState = nullptr;
  Parse({"-TEST", "name.zip", "-INCLUDE=*.txt", "x"});
  EXPECT_EQ(gRunOptions.command, kCommandTest);
  EXPECT_STREQ(gRunOptions.includeBlock, "*.txt");
  EXPECT_STREQ(archive_.requestedName, "a.zip");
  EXPECT_TRUE(Includes().empty());
}

TEST_F(OptionsTest, HelpAndVersionNeedNoArchive) {
  archive_.requestedName[0] = 0;
  Parse({"-HELP"});
  EXPECT_EQ(gRunOptions.command, kCommandHelp);
  Parse({"-VERSION"});
  EXPECT_EQ(gRunOptions.command, kCommandVersion);
}

using ParserDeathTest = OptionsTest;

// Every parsing error ends the process with the message number; the detail is the option word
// without its switch character (or the ambiguous sub-option and what follows it).
TEST_F(ParserDeathTest, ParsingErrorsEndTheProcess) {
  struct Case {
    std::vector<std::string> words;
    int exitCode;
    std::string shown;
  } cases[] = {
      {{"-e"}, 2, "especificado .* -  e\n"},
      {{"-EX"}, 2, " -  EX\n"},
      {{"/L"}, 2, " -  L\n"},
      {{"-N"}, 2, " -  N\n"},
      {{"-TESTX"}, 4, "Desconhecida ou Ilegal -  TESTX\n"},
      {{"-PROMPT"}, 4, "Ilegal -  PROMPT\n"},
      {{"-"}, 4, "Ilegal -  \n"},
      {{"-" + std::string(80, 'T')}, 4, "Ilegal -  " + std::string(80, 'T') + "\n"},
      {{"-PASSWORD=" + std::string(71, 'p')}, 4, "Ilegal -  PASSWORD=p+\n"},
      {{"-OVERWRITE=X"}, 5, "Sub-op.*Desconhecida ou Ilegal -  OVERWRITE=X\n"},
      {{"-SORT=NA"}, 3, "expecificada .* -  NA\n"},
      {{"-TIMES=NONE,A"}, 3, " -  A\n"},
      {{"-SORT=N"}, 3, " -  N\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EXIT(Parse(c.words), ::testing::ExitedWithCode(c.exitCode), c.shown) << c.words[0];
  }
}

TEST_F(ParserDeathTest, CommandsThatReadAnArchiveNeedItsName) {
  archive_.requestedName[0] = 0;
  EXPECT_EXIT(Parse({"-TEST"}), ::testing::ExitedWithCode(6), "Arquivo .ZIP n.o especificado \n");
  EXPECT_EXIT(Parse({"-PRINT", "-OVERWRITE"}), ::testing::ExitedWithCode(6), "");
}

// --- list files -------------------------------------------------------------------------

class ListFileTest : public OptionsTest {
 protected:
  std::string List(const std::string& bytes, const std::string& name = "list") {
    dir_.write(name, bytes);
    return dir_.file(name);
  }
  TempDir dir_;
};

TEST_F(ListFileTest, LinesBecomeNamesUntilAnEmptyLine) {
  struct Case {
    const char* label;
    std::string bytes;
    std::vector<std::string> names;
  } cases[] = {
      {"empty line ends the list", "A\n\nB\n", {"A"}},
      {"CR LF ending", "A\r\n\r\nB\r\n", {"A"}},
      {"CR LF lines", "A\r\nB\r\n", {"A", "B"}},
      {"no final line feed", "A\nB", {"A", "B"}},
      {"lone CR kept", "A\rB\n", {"A\rB"}},
      {"CR at the end of the file kept", "A\r", {"A\r"}},
      {"leading blanks skipped, trailing kept", " \t C  \n", {"C  "}},
      {"absolute path", "/abs/name\n", {"/abs/name"}},
      {"'@' has no meaning in a list", "@other\n", {"@other"}},
      {"long line cut", std::string(300, 'x') + "\nB\n", {std::string(250, 'x'), "B"}},
      {"250 fit", std::string(250, 'y') + "\n", {std::string(250, 'y')}},
      {"CR beyond the kept part", std::string(250, 'z') + "\r\n", {std::string(250, 'z')}},
      {"empty file", "", {}},
  };
  for (const Case& c : cases) {
    SetUp();
    Parse({"@" + List(c.bytes)});
    EXPECT_EQ(Includes(), c.names) << c.label;
    FreeNameLists(&archive_.names);
  }
}

// The file is read in blocks; lines, CR LF pairs and the end of the file may fall on their edges.
TEST_F(ListFileTest, BlockEdges) {
  const std::string longName(250, 'x');
  struct Case {
    const char* label;
    std::string bytes;
    std::vector<std::string> names;
  } cases[] = {
      // CR as the last byte of the first block, its LF the first of the second.
      {"CR LF split", std::string(1023, 'x') + "\r\nB\n", {longName, "B"}},
      // A line feed as the last byte of a full block.
      {"full block then a line", std::string(1023, 'x') + "\nB\n", {longName, "B"}},
      // Exactly one block without a final line feed: the next read returns nothing.
      {"one full block", std::string(1020, 'x') + "\nABC", {longName, "ABC"}},
      {"two full blocks", std::string(2047, 'x') + "\n", {longName}},
  };
  for (const Case& c : cases) {
    SetUp();
    Parse({"@" + List(c.bytes)});
    EXPECT_EQ(Includes(), c.names) << c.label;
    FreeNameLists(&archive_.names);
  }
}

TEST_F(ListFileTest, FirstNameIsTheArchiveWhenNoneIsSet) {
  archive_.requestedName[0] = 0;
  Parse({"@" + List("b.zip\nx.txt\n")});
  EXPECT_STREQ(archive_.requestedName, "b.zip");
  EXPECT_EQ(Includes(), std::vector<std::string>{"x.txt"});
}

TEST_F(ListFileTest, OptionLinesAreProcessed) {
  Parse({"@" + List("-TEST\n  /OVERWRITE=NEVER\nname\n\t-SORT=-SIZE\n")});
  EXPECT_EQ(gRunOptions.command, kCommandTest);
  EXPECT_EQ(gRunOptions.Overwrite, kOverwriteNever);
  EXPECT_EQ(gRunOptions.SortExtract, 13);
  EXPECT_EQ(Includes(), std::vector<std::string>{"name"});
}

// PASSWORD= and PRINT= keep pointers to their values; from a list file the values must survive
// the lines read after them.
TEST_F(ListFileTest, ValuesFromListLinesOutliveTheLineBuffer) {
  Parse({"@" + List("-PASSWORD=secret\n-PRINT=LPT2\nsome other line that overwrites\n")});
  ASSERT_NE(gRunOptions.passwordText, nullptr);
  EXPECT_STREQ(gRunOptions.passwordText, "secret");
  ASSERT_NE(gRunOptions.printDevice, nullptr);
  EXPECT_STREQ(gRunOptions.printDevice, "LPT2");
  // A second read (as before a run) replaces the copies without leaking them.
  Parse({"@" + dir_.file("list")});
  EXPECT_STREQ(gRunOptions.passwordText, "secret");
  ResetOptions(&gRunOptions);
  EXPECT_EQ(gRunOptions.passwordText, nullptr);
  EXPECT_EQ(gRunOptions.printDevice, nullptr);
}

TEST_F(ListFileTest, IncludeAndExcludeListFiles) {
  std::string include = List("a*\nb*\n", "inc");
  std::string exclude = List("*.o\n", "exc");
  Parse({"-INCLUDE=@" + include, "-EXCLUDE=@" + exclude, "-INCLUDE=c*"});
  EXPECT_EQ(Includes(), (std::vector<std::string>{"a*", "b*", "c*"}));
  EXPECT_EQ(Excludes(), std::vector<std::string>{"*.o"});
  // The blocks keep the values as given, list-file marker and all, for the pass to read again.
  std::string block(gRunOptions.includeBlock, NameBlockLength(gRunOptions.includeBlock));
  EXPECT_EQ(block, "@" + include + std::string(1, '\0') + "c*" + std::string(2, '\0'));
}

TEST_F(ListFileTest, ReadListFileReturnsTheCloseResult) {
  EXPECT_EQ(ReadListFile(List("A\n").c_str(), 1), 0);
  EXPECT_EQ(Excludes(), std::vector<std::string>{"A"});
}

using ListFileDeathTest = ListFileTest;

TEST_F(ListFileDeathTest, FailuresEndTheProcess) {
  std::string missing = dir_.file("missing");
  EXPECT_EXIT(Parse({"@" + missing}), ::testing::ExitedWithCode(18),
              "lista deste arquivo:  " + missing + "\n");
  EXPECT_EXIT(Parse({"-EXCLUDE=@" + missing}), ::testing::ExitedWithCode(18), missing);
  // Errors on list lines are reported as in the vector.
  EXPECT_EXIT(Parse({"@" + List("A\n-TESTX\n", "bad")}), ::testing::ExitedWithCode(4),
              "Ilegal -  TESTX\n");
  EXPECT_EXIT(Parse({"@" + List("-SORT=NA\n", "amb")}), ::testing::ExitedWithCode(3), " -  NA\n");
  // A list file named inside a list file would share the one being read: refused.
  std::string inner = List("B\n", "inner");
  std::string outer = List("A\n-INCLUDE=@" + inner + "\nC\n", "outer");
  EXPECT_EXIT(Parse({"@" + outer}), ::testing::ExitedWithCode(18),
              "lista deste arquivo:  " + inner + "\n");
  EXPECT_EXIT(Parse({"-EXCLUDE=@" + outer}), ::testing::ExitedWithCode(18), inner);
}

// --- name blocks ------------------------------------------------------------------------

TEST(NameBlock, AppendAndLength) {
  EXPECT_EQ(NameBlockLength(nullptr), 0);
  char* block = AppendNameBlock(nullptr, "A");
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(std::string(block, 3), std::string("A\0\0", 3));
  EXPECT_EQ(NameBlockLength(block), 3);
  block = AppendNameBlock(block, "BC");
  EXPECT_EQ(std::string(block, 6), std::string("A\0BC\0\0", 6));
  EXPECT_EQ(NameBlockLength(block), 6);
  block = AppendNameBlock(block, "*.txt");
  EXPECT_EQ(NameBlockLength(block), 12);
  EXPECT_STREQ(block + 5, "*.txt");
  delete[] block;
}

// --- the run-settings record ------------------------------------------------------------

TEST(RunOptionsRecord, DefaultsAndTheirReset) {
  RunOptions fresh;
  RunOptions* records[] = {&fresh, &gRunOptions};
  gRunOptions.secondSwitchChar = '+';
  gRunOptions.includeBlock = AppendNameBlock(nullptr, "x");
  gRunOptions.Overwrite = 2;
  ResetOptions(&gRunOptions);
  for (RunOptions* o : records) {
    EXPECT_EQ(o->command, kCommandExtract);
    EXPECT_EQ(o->Comment, 0);
    EXPECT_EQ(o->extractSelection, 0);
    EXPECT_EQ(o->Overwrite, kOverwriteAsk);
    EXPECT_EQ(o->attributeDropMask, 0xFFFFFFFFu);
    EXPECT_EQ(o->Path, 0);
    EXPECT_EQ(o->dateFilter, 0);
    EXPECT_EQ(o->requestedSort, 0);
    EXPECT_EQ(o->SortExtract, 0);
    EXPECT_EQ(o->Times, 7);
    EXPECT_EQ(o->LocaleDate, 2);
    EXPECT_EQ(o->NoExtended, 1);
    EXPECT_EQ(o->Header, 0);
    EXPECT_EQ(o->Move, 0);
    EXPECT_EQ(o->Password, 0);
    EXPECT_EQ(o->Recurse, 0);
    EXPECT_EQ(o->sortGiven, 0);
    EXPECT_EQ(o->volume, 0);
    EXPECT_EQ(o->switchChar, '-');
    EXPECT_EQ(o->listMarker, '@');
    EXPECT_EQ(o->passwordText, nullptr);
    EXPECT_EQ(o->includeBlock, nullptr);
    EXPECT_EQ(o->excludeBlock, nullptr);
    EXPECT_EQ(o->printDevice, nullptr);
    EXPECT_EQ(o->AfterDate, 0u);
    EXPECT_EQ(o->BeforeDate, 0u);
  }
  EXPECT_EQ(fresh.secondSwitchChar, '-');
  // Only the constructor sets the second switch character.
  EXPECT_EQ(gRunOptions.secondSwitchChar, '+');
  gRunOptions.secondSwitchChar = '-';
}

TEST(RunOptionsRecord, ZeroingFreesAndClearsEverything) {
  RunOptions options;
  options.includeBlock = AppendNameBlock(nullptr, "a");
  options.excludeBlock = AppendNameBlock(nullptr, "b");
  options.printDeviceBuffer = new char[4]{'P', 'R', 'N', 0};
  options.printDevice = options.printDeviceBuffer;
  ZeroOptions(&options);  // the sanitizer reports what it would leak
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&options);
  for (size_t i = 0; i < sizeof options; ++i) ASSERT_EQ(bytes[i], 0) << i;
}

TEST(RunOptionsRecord, CommandClasses) {
  struct Case {
    int command;
    bool reads, needsNone;
  } cases[] = {
      {kCommandExtract, true, false}, {kCommandTest, true, false},  {kCommandPrint, true, false},
      {kCommandConsole, true, false}, {kCommandHelp, false, true}, {kCommandVersion, false, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReadsArchive(c.command), c.reads) << c.command;
    EXPECT_FALSE(WritesArchive(c.command)) << c.command;
    EXPECT_EQ(NeedsNoArchive(c.command), c.needsNone) << c.command;
  }
}

}  // namespace
