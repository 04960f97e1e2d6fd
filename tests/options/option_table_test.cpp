// What each option word sets in the run settings, and the words its handler refuses.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "options/dates.h"
#include "options/run_options.h"
#include "options_fixture.h"
#include "report/messages.h"

namespace {

// Reads one field of the options as an int, whatever its type.
template <typename T>
std::function<int(const RunOptions&)> Field(T RunOptions::*member) {
  return [member](const RunOptions& o) { return static_cast<int>(o.*member); };
}

struct FieldCase {
  std::vector<std::string> words;
  std::function<int(const RunOptions&)> field;
  int expected;
};

TEST_F(OptionsTest, WordsSetTheirFields) {
  const FieldCase cases[] = {
      {{"-OVERWRITE"}, Field(&RunOptions::Overwrite), kOverwriteAlways},
      {{"-OVERWRITE="}, Field(&RunOptions::Overwrite), kOverwriteAlways},
      {{"-OVERWRITE=N"}, Field(&RunOptions::Overwrite), kOverwriteNever},
      {{"-OVERWRITE=P"}, Field(&RunOptions::Overwrite), kOverwriteAsk},
      {{"-OVERWRITE=A"}, Field(&RunOptions::Overwrite), kOverwriteAlways},
      {{"-o=never"}, Field(&RunOptions::Overwrite), kOverwriteNever},
      {{"-OVERWRITE", "-OVERWRITE=PROMPT"}, Field(&RunOptions::Overwrite), kOverwriteAsk},

      {{"-SORT"}, Field(&RunOptions::requestedSort), kSortName},
      {{"-SORT=NAT"}, Field(&RunOptions::requestedSort), kSortNatural},
      {{"-SORT=-D"}, Field(&RunOptions::requestedSort), kSortDate | kSortDescending},
      {{"-SORT=-SIZE"}, Field(&RunOptions::requestedSort), kSortSize | kSortDescending},
      {{"-SORT"}, Field(&RunOptions::sortGiven), 1},
      // The default command is EXTRACT, so SORT alone already reaches the driver's key.
      {{"-SORT=-SIZE"}, Field(&RunOptions::SortExtract), kSortSize | kSortDescending},
      // Under another command the key waits for a later EXTRACT or TEST.
      {{"-HELP", "-SORT=SIZE"}, Field(&RunOptions::SortExtract), kSortNatural},
      {{"-HELP", "-SORT=SIZE", "-EXTRACT"}, Field(&RunOptions::SortExtract), kSortSize},
      {{"-HELP", "-SORT=-DATE", "-TEST"}, Field(&RunOptions::SortExtract), kSortDate | kSortDescending},
      {{"-HELP", "-EXTRACT"}, Field(&RunOptions::SortExtract), kSortNatural},

      {{"-TIMES"}, Field(&RunOptions::Times), 7},
      {{"-TIMES="}, Field(&RunOptions::Times), 7},
      {{"-TIMES=-ACCESS"}, Field(&RunOptions::Times), 6},
      {{"-TIMES=NONE"}, Field(&RunOptions::Times), 0},
      {{"-TIMES=NONE,+MODIFY"}, Field(&RunOptions::Times), 2},
      {{"-TIMES=-ACCESS,-CREATE"}, Field(&RunOptions::Times), 2},
      {{"-times=none,access,create"}, Field(&RunOptions::Times), 5},
      {{"-TIMES=NONE", "-TIMES=ALL"}, Field(&RunOptions::Times), 7},

      {{"-EXTRACT=UPDATE"}, Field(&RunOptions::extractSelection), kSelectUpdate},
      {{"-TEST=F"}, Field(&RunOptions::extractSelection), kSelectFreshen},
      {{"-EXTRACT=FRESHEN", "-EXTRACT=ALL"}, Field(&RunOptions::extractSelection), kSelectAll},
      {{"-TEST=F"}, Field(&RunOptions::command), kCommandTest},

      // The last command word wins.
      {{"-TEST", "-EXTRACT"}, Field(&RunOptions::command), kCommandExtract},
      {{"-EXTRACT", "-PRINT"}, Field(&RunOptions::command), kCommandPrint},
      {{"-CONSOLE"}, Field(&RunOptions::command), kCommandConsole},
      {{"-HELP"}, Field(&RunOptions::command), kCommandHelp},
      {{"-VERSION=MINOR"}, Field(&RunOptions::command), kCommandVersion},
      {{"-VERSION", "-TEST"}, Field(&RunOptions::command), kCommandTest},

      {{"-DIRECTORIES"}, Field(&RunOptions::Path), 1},
      {{"-DIRECTORIES="}, Field(&RunOptions::Recurse), 1},
      {{"-VOLUME"}, Field(&RunOptions::volume), 1},
      {{"-VOLUME=C"}, Field(&RunOptions::volume), 1},
      {{"-VOLUME=d"}, Field(&RunOptions::volume), 1},
      {{"-PASSWORD"}, Field(&RunOptions::Password), 1},
      {{"-AFTER=010299"}, Field(&RunOptions::dateFilter), kFilterAfter},
      {{"-BEFORE"}, Field(&RunOptions::dateFilter), kFilterBefore},
      {{"-AFTER", "-BEFORE=123199"}, Field(&RunOptions::dateFilter), kFilterAfter | kFilterBefore},
  };
  for (const FieldCase& c : cases) {
    Reset();
    Parse(c.words);
    EXPECT_EQ(c.field(options()), c.expected) << ::testing::PrintToString(c.words);
  }

  Reset();
  EXPECT_TRUE(options().useNtfsTimes);
  Parse({"-NOEXTENDED"});
  EXPECT_FALSE(options().useNtfsTimes);
}

// The user's locale cannot be read on this platform: LOCALE falls back to month-day-year.
TEST_F(OptionsTest, LocaleFallsBackToMonthDayYear) {
  for (const char* word : {"-LOCALE", "-LOCALE=ENV", "-loc=environment"}) {
    line_.options.LocaleDate = kOrderDayMonthYear;
    Parse({word});
    EXPECT_EQ(options().LocaleDate, kOrderMonthDayYear) << word;
  }
}

TEST_F(OptionsTest, MaskWordsSetTheDropMask) {
  struct Case {
    std::vector<std::string> words;
    unsigned dropped;  // low three bits: read-only, hidden, system
  } cases[] = {
      {{}, 7},
      {{"-MASK"}, 0},
      {{"-MASK="}, 0},
      {{"-MASK=HIDDEN"}, 5},
      {{"-MASK=+HIDDEN"}, 5},
      {{"-MASK=-HIDDEN"}, 7},
      {{"-MASK=NONE"}, 7},
      {{"-MASK=ALL"}, 0},
      {{"-MASK=READONLY"}, 6},
      {{"-MASK=-HIDDEN,ALL"}, 0},
      {{"-MASK=ALL,-SYSTEM"}, 4},
      {{"-MASK", "-MASK=-SYSTEM,-READONLY"}, 5},
      {{"-mask=hidden,system"}, 1},
  };
  for (const Case& c : cases) {
    Reset();
    Parse(c.words);
    EXPECT_EQ(options().attributeDropMask & 7u, c.dropped) << ::testing::PrintToString(c.words);
    // Bits beyond the three attributes are never touched.
    EXPECT_EQ(options().attributeDropMask & ~7u, ~7u);
  }
}

TEST_F(OptionsTest, PrintDeviceAndPassword) {
  Parse({"-PRINT"});
  EXPECT_EQ(options().command, kCommandPrint);
  EXPECT_EQ(Str(options().printDevice), "PRN");
  Parse({"-PRINT=LPT2"});
  EXPECT_EQ(Str(options().printDevice), "LPT2");
  Parse({"-PRINT"});  // a device is set: it stays
  EXPECT_EQ(Str(options().printDevice), "LPT2");

  Parse({"-PASSWORD=Se=gredo"});
  EXPECT_EQ(options().Password, 1);
  EXPECT_EQ(Str(options().passwordText), "Se=gredo");
  // Without text the password is asked for, even after one was given.
  Parse({"-PASSWORD="});
  EXPECT_EQ(options().Password, 1);
  EXPECT_EQ(Str(options().passwordText), "");
  Parse({"-PASSWORD=again", "-PASSWORD"});
  EXPECT_EQ(Str(options().passwordText), "");
}

TEST_F(OptionsTest, DatesOfAfterAndBefore) {
  Parse({"-AFTER=010299", "-BEFORE=12312001"});
  EXPECT_EQ(options().AfterDate, ((19u << 9) | (1u << 5) | 2u) << 16);
  EXPECT_EQ(options().BeforeDate, ((21u << 9) | (12u << 5) | 31u) << 16);
  uint32_t before = TodayPacked();
  Parse({"-AFTER"});
  uint32_t after = TodayPacked();
  EXPECT_TRUE(options().AfterDate == before || options().AfterDate == after);

  // The dates are read in the line's date order.
  Reset();
  line_.options.LocaleDate = kOrderDayMonthYear;
  Parse({"-BEFORE=311299"});
  EXPECT_EQ(options().BeforeDate, ((19u << 9) | (12u << 5) | 31u) << 16);
  Reset();
  line_.options.LocaleDate = kOrderYearMonthDay;
  Parse({"-AFTER=20010203"});
  EXPECT_EQ(options().AfterDate, ((21u << 9) | (2u << 5) | 3u) << 16);
}

TEST_F(OptionsTest, NameOptionsFillTheLists) {
  Parse({"-INCLUDE=*.c", "-EXCLUDE=*.o", "-INCLUDE=src\\*.h", "-INCLUDE", "-EXCLUDE="});
  EXPECT_EQ(Includes(), (std::vector<std::string>{"*.c", "src/*.h"}));
  EXPECT_EQ(Excludes(), std::vector<std::string>{"*.o"});
}

// Rows without a handler, and those whose settings this program never reads, take any value.
TEST_F(OptionsTest, WordsWithoutEffectChangeNothing) {
  const char* words[] = {"-LINKS",       "-FILETYPE=ANYTHING", "-ID",   "-LOWERCASE=X",
                         "-NAMETYPE",    "-PERMISSION=1,2",    "-TRANSLATE", "-SILENT=ON",
                         "-WARNING",     "-MORE",              "-MORE=24",   "-MORE=007"};
  const std::string before = Describe(options());
  for (const char* word : words) {
    Parse({word});
    EXPECT_EQ(Describe(options()), before) << word;
  }
  EXPECT_EQ(ArchiveName(), "a.zip");
  EXPECT_EQ(Destination(), "");
  EXPECT_TRUE(Includes().empty());
  EXPECT_TRUE(Excludes().empty());
}

TEST_F(OptionsTest, BadSubOptionsAreRefusedWithTheWordAsDetail) {
  const char* words[] = {
      "OVERWRITE=X",       "OVERWRITE=SOMETIMES", "DIRECTORIES=ALL", "VOLUME=CD",
      "VOLUME=1",          "VOLUME=:",            "MORE=0",          "MORE=00",
      "MORE=x",            "MORE=-1",             "LOCALE=X",        "SORT=XYZ",
      "SORT=NAMES",        "EXTRACT=NOPE",        "TEST=NONE",       "VERSION=BETA",
      "AFTER=13011999",    "BEFORE=1231",         "AFTER=12-31-99",  "TIMES=BAD",
      "TIMES=NONE,",       "MASK=HIDDEN,BAD",     "MASK=,",
  };
  for (const char* word : words) {
    Reset();
    Status status = ParseStatus({std::string("-") + word});
    EXPECT_EQ(status.kind(), StatusKind::kFatal) << word;
    EXPECT_EQ(status.number(), kFatalBadSubOption) << word;
    EXPECT_EQ(status.exitCode(), 5) << word;
    EXPECT_STREQ(status.detail(), word);
    EXPECT_EQ(Shown(status), std::string("Sub-opção Desconhecida ou Ilegal -  ") + word);
  }
}

}  // namespace
