// The option parser: keyword and sub-option matching, argument vectors, list files, the
// command line value it fills and the run-settings record.
#include <gtest/gtest.h>

#include <filesystem>

#include <cstring>
#include <string>
#include <vector>

#include "options/option_table.h"
#include "options/parser.h"
#include "options/run_options.h"
#include "options_fixture.h"
#include "report/messages.h"
#include "temp_dir.h"

namespace {

// The texts of the parser's refusals, as the user reads them before the detail.
const std::string kAmbiguousOptionText = "Opção do comando especificado é ambígua - ";
const std::string kAmbiguousSubOptionText = "Sub-opção expecificada é ambígua - ";
const std::string kUnknownOptionText = "Opção Desconhecida ou Ilegal - ";
const std::string kBadSubOptionText = "Sub-opção Desconhecida ou Ilegal - ";
const std::string kNoArchiveText = "Arquivo .ZIP não especificado";
const std::string kCannotOpenListText = "Não pude abrir a lista deste arquivo: ";

// A fatal status with its number (which is also the exit code) and the text shown for it.
void ExpectFatal(const Status& status, int number, const std::string& detail,
                 const std::string& shown, const std::string& label) {
  EXPECT_EQ(status.kind(), StatusKind::kFatal) << label;
  EXPECT_EQ(status.number(), number) << label;
  EXPECT_EQ(status.exitCode(), number) << label;
  EXPECT_EQ(std::string(status.detail()), detail) << label;
  EXPECT_EQ(Shown(status), shown) << label;
}

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
      {SortTable, "NAT", kMatchUnique, 0},
      {SortTable, "nat", kMatchUnique, 0},
      {SortTable, "-D", kMatchUnique, 12},
      {SortTable, "-SIZE", kMatchUnique, 13},
      {SortTable, "+E", kMatchUnique, 3},
      {SortTable, "C", kMatchUnique, 7},
      {SortTable, "NAME", kMatchUnique, 2},
      {SortTable, "NAMES", kMatchNone, 0},
      {SortTable, "X", kMatchNone, 0},
      {SortTable, "", kMatchNone, 0},
      {SortTable, "=NAME", kMatchNone, 0},
      {SortTable, "NA", kMatchAmbiguous, 0},  // NAME, NATURAL
      {SortTable, "N", kMatchAmbiguous, 0},   // NAME, NATURAL, NONE
      {SortTable, "-N", kMatchAmbiguous, 0},
      {OverwriteTable, "P", kMatchUnique, 0},
      {OverwriteTable, "A", kMatchUnique, 2},
      {OverwriteTable, "n", kMatchUnique, 1},
      {OverwriteTable, "X", kMatchNone, 0},
      {TimesTable, "-ACCESS,+CREATE", kMatchUnique, -2},  // stops at the ','
      {TimesTable, "NONE=", kMatchUnique, -8},
      {TimesTable, "A,NONE", kMatchAmbiguous, 0},  // ACCESS, ALL
      {AttributeTable, "-H", kMatchUnique, 2},
      {LocaleTable, "ENV", kMatchUnique, 0},
      {DirectoriesTable, "ALL", kMatchNone, 0},
  };
  for (const Case& c : cases) {
    int32_t value = 0;
    EXPECT_EQ(MatchSubOption(c.text, c.table, &value), c.result) << c.text;
    if (c.result == kMatchUnique) {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
}

// --- argument vectors -------------------------------------------------------------------

TEST_F(OptionsTest, SwitchCharactersAndCase) {
  const RunOptions defaults;
  EXPECT_TRUE(IsSwitchCharacter(defaults, '-'));
  EXPECT_TRUE(IsSwitchCharacter(defaults, '/'));
  EXPECT_FALSE(IsSwitchCharacter(defaults, '@'));
  EXPECT_FALSE(IsSwitchCharacter(defaults, '+'));

  Parse({"/TEST"});
  EXPECT_EQ(options().command, kCommandTest);
  Parse({"-ext"});
  EXPECT_EQ(options().command, kCommandExtract);
  Parse({"/o=n"});
  EXPECT_EQ(options().Overwrite, kOverwriteNever);
}

TEST_F(OptionsTest, NamesFillArchiveDestinationAndIncludes) {
  line_.archiveName = "";
  // Only the first name that reads as a directory is the destination.
  Parse({"-TEST", "first.zip", "out\\", "x.txt", "*.c", "other/"});
  EXPECT_EQ(ArchiveName(), "first.zip");
  EXPECT_EQ(Destination(), "out/");
  EXPECT_EQ(Includes(), (std::vector<std::string>{"x.txt", "*.c", "other/"}));
  EXPECT_TRUE(Excludes().empty());
}

// A line that comes in with its archive name keeps it; names and INCLUDE values then join the
// include list in the order given.
TEST_F(OptionsTest, ArchiveNameGivenBeforeTheParse) {
  Parse({"-TEST", "name.zip", "-INCLUDE=*.txt", "x"});
  EXPECT_EQ(options().command, kCommandTest);
  EXPECT_EQ(ArchiveName(), "a.zip");
  EXPECT_EQ(Includes(), (std::vector<std::string>{"name.zip", "*.txt", "x"}));
}

TEST(AcceptDestination, DirectoriesAndWhatLooksLikeOne) {
  TempDir dir;
  dir.write("file", "x");
  struct Case {
    std::string text;
    bool accepted;
    std::string destination;
  } cases[] = {
      {"out/", true, "out/"},
      {"out\\sub\\", true, "out/sub/"},
      {"C:", true, "C:"},
      {"C:work", true, "C:work/"},
      {dir.path(), true, dir.path() + "/"},  // an existing directory without its separator
      {dir.file("file"), true, dir.file("file") + "/"},  // starts with '/': taken as it reads
      {"no-such-directory", false, ""},
      {"*.txt", false, ""},
      {"", false, ""},
      // The longest that fits with its separator; one more is refused, not cut.
      {"/" + std::string(kPathSize - 3, 'd'), true, "/" + std::string(kPathSize - 3, 'd') + "/"},
      {"/" + std::string(kPathSize - 3, 'd') + "/", false, ""},
  };
  for (const Case& c : cases) {
    decltype(CommandLine::destination) destination = "unchanged";
    EXPECT_EQ(AcceptDestination(c.text.c_str(), &destination), c.accepted) << c.text;
    EXPECT_EQ(Str(destination), c.accepted ? c.destination : "unchanged") << c.text;
  }
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
  const RunOptions defaults;
  for (const Case& c : cases) EXPECT_EQ(OpensOptionWord(defaults, c.word), c.option) << c.word;

  TempDir dir;
  line_.archiveName = "";
  Parse({"/TEST", dir.file("a.zip"), dir.path(), "/INCLUDE=" + dir.file("x")});
  EXPECT_EQ(options().command, kCommandTest);
  EXPECT_EQ(ArchiveName(), dir.file("a.zip"));
  EXPECT_EQ(Destination(), dir.path() + "/");
  EXPECT_EQ(Includes(), std::vector<std::string>{dir.file("x")});
}

// A line parsed twice keeps what the first vector set.
TEST_F(OptionsTest, SettingsStayAcrossVectorsIntoOneLine) {
  Parse({"-OVERWRITE=NEVER", "-DIRECTORIES", "x"});
  Parse({"-TEST", "y"});
  EXPECT_EQ(options().Overwrite, kOverwriteNever);
  EXPECT_EQ(options().Path, 1);
  EXPECT_EQ(options().command, kCommandTest);
  EXPECT_EQ(Includes(), (std::vector<std::string>{"x", "y"}));
}

// The parse reads no archive and keeps nothing between calls: two vectors parsed into two
// lines give what each alone gives, even when the first ends inside a list file.
TEST(ParseArguments, TouchesNoArchiveAndNoSharedState) {
  TempDir dir;
  dir.write("inner", "B\n");
  dir.write("outer", "-OVERWRITE=NEVER\nA\n-INCLUDE=@" + dir.file("inner") + "\nC\n");
  dir.write("names", "n1\n-PASSWORD=list\n");

  CommandLine first;
  ASSERT_TRUE(ParseWords({"-OVERWRITE", "-PASSWORD=one", "-DIRECTORIES", "-SORT=SIZE",
                          "-INCLUDE=*.c", dir.file("missing.zip"), "out/", "x.txt",
                          "-EXCLUDE=*.o", "-PRINT=LPT2"},
                         &first)
                  .ok());
  const std::string firstDescribed = Describe(first.options);

  CommandLine failed;
  Status status = ParseWords({"-TEST", "z.zip", "@" + dir.file("outer")}, &failed);
  ASSERT_EQ(status.number(), kFatalCannotOpenList) << Shown(status);

  CommandLine second;
  ASSERT_TRUE(ParseWords({"-TEST", "second.zip", "@" + dir.file("names")}, &second).ok());

  EXPECT_EQ(second.options.command, kCommandTest);
  EXPECT_EQ(second.options.Overwrite, kOverwriteAsk);
  EXPECT_EQ(second.options.Path, 0);
  EXPECT_EQ(second.options.sortGiven, 0);
  EXPECT_EQ(Str(second.options.passwordText), "list");
  EXPECT_EQ(Str(second.options.printDevice), "");
  EXPECT_EQ(Str(second.archiveName), "second.zip");
  EXPECT_EQ(Str(second.destination), "");
  EXPECT_EQ(Strings(second.includes), std::vector<std::string>{"n1"});
  EXPECT_TRUE(second.excludes.empty());

  // The first line is the same as it was, and the same as a parse of its vector now.
  EXPECT_EQ(Describe(first.options), firstDescribed);
  EXPECT_EQ(first.options.Overwrite, kOverwriteAlways);
  EXPECT_EQ(Str(first.options.passwordText), "one");
  EXPECT_EQ(Str(first.archiveName), dir.file("missing.zip"));
  EXPECT_EQ(Str(first.destination), "out/");
  EXPECT_EQ(Strings(first.includes), (std::vector<std::string>{"*.c", "x.txt"}));
  EXPECT_EQ(Strings(first.excludes), std::vector<std::string>{"*.o"});
  CommandLine again;
  ASSERT_TRUE(ParseWords({"-OVERWRITE", "-PASSWORD=one", "-DIRECTORIES", "-SORT=SIZE",
                          "-INCLUDE=*.c", dir.file("missing.zip"), "out/", "x.txt",
                          "-EXCLUDE=*.o", "-PRINT=LPT2"},
                         &again)
                  .ok());
  EXPECT_EQ(Describe(again.options), firstDescribed);
  EXPECT_EQ(Strings(again.includes), Strings(first.includes));
}

TEST_F(OptionsTest, HelpAndVersionNeedNoArchive) {
  line_.archiveName = "";
  Parse({"-HELP"});
  EXPECT_EQ(options().command, kCommandHelp);
  Parse({"-VERSION"});
  EXPECT_EQ(options().command, kCommandVersion);
  EXPECT_EQ(ArchiveName(), "");
}

// Every parsing error comes back as a fatal status with the message number; the detail is the
// option word without its switch character (or the ambiguous sub-option and what follows it).
TEST_F(OptionsTest, ParsingErrorsComeBackAsFatalStatus) {
  struct Case {
    std::vector<std::string> words;
    int number;
    std::string detail;
  } cases[] = {
      {{"-e"}, kFatalAmbiguousOption, "e"},
      {{"-EX"}, kFatalAmbiguousOption, "EX"},
      {{"/L"}, kFatalAmbiguousOption, "L"},
      {{"-N"}, kFatalAmbiguousOption, "N"},
      {{"-TESTX"}, kFatalUnknownOption, "TESTX"},
      {{"-PROMPT"}, kFatalUnknownOption, "PROMPT"},
      {{"-"}, kFatalUnknownOption, ""},
      {{"-" + std::string(80, 'T')}, kFatalUnknownOption, std::string(80, 'T')},
      {{"-PASSWORD=" + std::string(71, 'p')}, kFatalUnknownOption,
       "PASSWORD=" + std::string(71, 'p')},
      {{"-OVERWRITE=X"}, kFatalBadSubOption, "OVERWRITE=X"},
      {{"-SORT=NA"}, kFatalAmbiguousSubOption, "NA"},
      {{"-TIMES=NONE,A"}, kFatalAmbiguousSubOption, "A"},
      {{"-SORT=N"}, kFatalAmbiguousSubOption, "N"},
      {{"-TEST", "-SORT=N", "-TESTX"}, kFatalAmbiguousSubOption, "N"},  // the first error ends it
  };
  for (const Case& c : cases) {
    Reset();
    const std::string text = c.number == kFatalAmbiguousOption      ? kAmbiguousOptionText
                             : c.number == kFatalAmbiguousSubOption ? kAmbiguousSubOptionText
                             : c.number == kFatalUnknownOption      ? kUnknownOptionText
                                                                    : kBadSubOptionText;
    ExpectFatal(ParseStatus(c.words), c.number, c.detail, text + " " + c.detail, c.words.back());
  }
}

TEST_F(OptionsTest, CommandsThatReadAnArchiveNeedItsName) {
  for (const std::vector<std::string>& words :
       {std::vector<std::string>{"-TEST"}, std::vector<std::string>{"-PRINT", "-OVERWRITE"},
        std::vector<std::string>{"-EXCLUDE=*.o"}}) {
    Reset();
    line_.archiveName = "";
    ExpectFatal(ParseStatus(words), kFatalNoArchiveName, "", kNoArchiveText + " ", words[0]);
  }
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
    Reset();
    Parse({"@" + List(c.bytes)});
    EXPECT_EQ(Includes(), c.names) << c.label;
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
    Reset();
    Parse({"@" + List(c.bytes)});
    EXPECT_EQ(Includes(), c.names) << c.label;
  }
}

// A list file's names are never the destination, even when they read as a directory.
TEST_F(ListFileTest, FirstNameIsTheArchiveWhenNoneIsSet) {
  line_.archiveName = "";
  Parse({"@" + List("b.zip\nout/\nx.txt\n")});
  EXPECT_EQ(ArchiveName(), "b.zip");
  EXPECT_EQ(Destination(), "");
  EXPECT_EQ(Includes(), (std::vector<std::string>{"out/", "x.txt"}));
}

TEST_F(ListFileTest, OptionLinesAreProcessed) {
  Parse({"@" + List("-TEST\n  /OVERWRITE=NEVER\nname\n\t-SORT=-SIZE\n")});
  EXPECT_EQ(options().command, kCommandTest);
  EXPECT_EQ(options().Overwrite, kOverwriteNever);
  EXPECT_EQ(options().SortExtract, 13);
  EXPECT_EQ(Includes(), std::vector<std::string>{"name"});
}

// PASSWORD= and PRINT= values read from a list file must survive the lines read after them.
TEST_F(ListFileTest, ValuesFromListLinesOutliveTheLineBuffer) {
  Parse({"@" + List("-PASSWORD=secret\n-PRINT=LPT2\nsome other line that overwrites\n")});
  EXPECT_EQ(options().Password, 1);
  EXPECT_EQ(Str(options().passwordText), "secret");
  EXPECT_EQ(Str(options().printDevice), "LPT2");
  // A second read into the same line keeps them.
  Parse({"@" + dir_.file("list")});
  EXPECT_EQ(Str(options().passwordText), "secret");
  EXPECT_EQ(Str(options().printDevice), "LPT2");
}

// INCLUDE=@ and EXCLUDE=@ lists are read once, by the parse: the line holds their names (each
// once, in the order given, with no list-file marker left for a later read), and a list file
// changed after the parse changes nothing.
TEST_F(ListFileTest, IncludeAndExcludeListFilesAreReadAtParseTime) {
  std::string include = List("a*\nb\\*.h\n", "inc");
  std::string exclude = List("*.o\n", "exc");
  Parse({"-INCLUDE=@" + include, "-EXCLUDE=@" + exclude, "-INCLUDE=c*"});
  const std::vector<std::string> includes = {"a*", "b/*.h", "c*"};
  EXPECT_EQ(Includes(), includes);
  EXPECT_EQ(Excludes(), std::vector<std::string>{"*.o"});

  List("changed\n", "inc");
  List("", "exc");
  EXPECT_EQ(Includes(), includes);
  EXPECT_EQ(Excludes(), std::vector<std::string>{"*.o"});
}

// Names of an exclude list go to the excludes only: never the archive name, never includes.
TEST_F(ListFileTest, ExcludeListFillsOnlyTheExcludes) {
  line_.archiveName = "";
  OptionParse parse(&line_);
  EXPECT_EQ(parse.listFile(List("A\n-TEST\nB\n").c_str(), 1), 0);
  EXPECT_EQ(Excludes(), (std::vector<std::string>{"A", "B"}));
  EXPECT_TRUE(Includes().empty());
  EXPECT_EQ(ArchiveName(), "");
  EXPECT_EQ(options().command, kCommandTest);
}

TEST_F(ListFileTest, FailuresComeBackAsFatalStatus) {
  const std::string missing = dir_.file("missing");
  // A list file named inside a list file would share the one being read: refused.
  std::string inner = List("B\n", "inner");
  std::string outer = List("A\n-INCLUDE=@" + inner + "\nC\n", "outer");
  struct Case {
    std::vector<std::string> words;
    int number;
    std::string shown;
  } cases[] = {
      {{"@" + missing}, kFatalCannotOpenList, kCannotOpenListText + " " + missing},
      {{"-EXCLUDE=@" + missing}, kFatalCannotOpenList, kCannotOpenListText + " " + missing},
      // Errors on list lines are reported as in the vector.
      {{"@" + List("A\n-TESTX\n", "bad")}, kFatalUnknownOption, kUnknownOptionText + " TESTX"},
      {{"@" + List("-SORT=NA\n", "amb")}, kFatalAmbiguousSubOption,
       kAmbiguousSubOptionText + " NA"},
      {{"@" + outer}, kFatalCannotOpenList, kCannotOpenListText + " " + inner},
      {{"-EXCLUDE=@" + outer}, kFatalCannotOpenList, kCannotOpenListText + " " + inner},
  };
  for (const Case& c : cases) {
    Reset();
    Status status = ParseStatus(c.words);
    EXPECT_EQ(status.kind(), StatusKind::kFatal) << c.words[0];
    EXPECT_EQ(status.exitCode(), c.number) << c.words[0];
    EXPECT_EQ(Shown(status), c.shown) << c.words[0];
  }
  // The refused nested list leaves the parse able to read list files.
  Reset();
  OptionParse parse(&line_);
  EXPECT_EQ(parse.listFile(outer.c_str(), 0), kFatalCannotOpenList);
  EXPECT_STREQ(parse.detail(), inner.c_str());
  EXPECT_EQ(parse.listFile(inner.c_str(), 0), 0);
  EXPECT_EQ(Includes(), (std::vector<std::string>{"A", "B"}));
}

// A list file named by -INCLUDE=@ (or -EXCLUDE=@) may itself hold option lines of the same
// kind: the list is read once, at parse time, and what its lines add joins the same names.
TEST_F(ListFileTest, ListOfIncludeOrExcludeOptionLines) {
  std::string includes = List("-IN=a\n", "L");
  line_.archiveName = "";
  Parse({"-IN=@" + includes, "-TEST", "a.zip"});
  EXPECT_EQ(ArchiveName(), "a.zip");
  EXPECT_EQ(Includes(), (std::vector<std::string>{"a"}));

  Reset();
  std::string excludes = List("-EXC=b\nc\n", "M");
  Parse({"-EXC=@" + excludes, "-TEST"});
  EXPECT_EQ(Excludes(), (std::vector<std::string>{"b", "c"}));
  EXPECT_TRUE(Includes().empty());
}

// Whatever ends a list file early (a refused line, a nested list), its file is closed.
TEST_F(ListFileTest, NoListFileStaysOpenAfterAFailure) {
  auto openDescriptors = [] {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
      (void)entry;
      ++count;
    }
    return count;
  };
  std::string inner = List("B\n", "inner");
  const std::vector<std::vector<std::string>> failing = {
      {"@" + List("A\n-TESTX\nB\n", "bad")},
      {"-EXCLUDE=@" + List("-SORT=NA\n", "amb")},
      {"@" + List("A\n-INCLUDE=@" + inner + "\nC\n", "outer")},
  };
  const int before = openDescriptors();
  for (const auto& words : failing) {
    Reset();
    EXPECT_FALSE(ParseStatus(words).ok()) << words[0];
  }
  EXPECT_EQ(openDescriptors(), before);
}

// --- the run-settings record ------------------------------------------------------------

TEST(RunOptionsRecord, Defaults) {
  const RunOptions o;
  EXPECT_EQ(o.command, kCommandExtract);
  EXPECT_EQ(o.Comment, 0);
  EXPECT_EQ(o.extractSelection, 0);
  EXPECT_EQ(o.Overwrite, kOverwriteAsk);
  EXPECT_EQ(o.attributeDropMask, 0xFFFFFFFFu);
  EXPECT_EQ(o.Path, 0);
  EXPECT_EQ(o.dateFilter, 0);
  EXPECT_EQ(o.requestedSort, 0);
  EXPECT_EQ(o.SortExtract, 0);
  EXPECT_EQ(o.Times, 7);
  EXPECT_EQ(o.LocaleDate, 2);
  EXPECT_TRUE(o.useNtfsTimes);
  EXPECT_EQ(o.Header, 0);
  EXPECT_EQ(o.Move, 0);
  EXPECT_EQ(o.Password, 0);
  EXPECT_EQ(o.Recurse, 0);
  EXPECT_EQ(o.sortGiven, 0);
  EXPECT_EQ(o.volume, 0);
  EXPECT_EQ(o.switchChar, '-');
  EXPECT_EQ(o.listMarker, '@');
  EXPECT_EQ(o.secondSwitchChar, '-');
  EXPECT_EQ(Str(o.passwordText), "");
  EXPECT_EQ(Str(o.printDevice), "");
  EXPECT_EQ(o.AfterDate, 0u);
  EXPECT_EQ(o.BeforeDate, 0u);

  const CommandLine line;
  EXPECT_EQ(Describe(line.options), Describe(o));
  EXPECT_EQ(Str(line.archiveName), "");
  EXPECT_EQ(Str(line.destination), "");
  EXPECT_TRUE(line.includes.empty());
  EXPECT_TRUE(line.excludes.empty());
}

TEST(RunOptionsRecord, CommandsThatNeedNoArchive) {
  struct Case {
    Command command;
    bool needsNone;
  } cases[] = {
      {kCommandExtract, false}, {kCommandTest, false}, {kCommandPrint, false},
      {kCommandConsole, false}, {kCommandHelp, true},  {kCommandVersion, true},
  };
  for (const Case& c : cases) EXPECT_EQ(NeedsNoArchive(c.command), c.needsNone) << c.command;
}

}  // namespace
