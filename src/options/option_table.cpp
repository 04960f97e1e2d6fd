// The option keywords, their sub-option tables, and the handlers that turn option words into
// run settings. The vocabulary is a command-line archiver's; this program keeps the keywords of
// its extraction side, and several of them are accepted without effect.
#include "options/option_table.h"

#include <cstring>
#include <new>

#include "app/app.h"
#include "extract/name_lists.h"
#include "options/dates.h"
#include "options/parser.h"
#include "options/run_options.h"
#include "zip/archive_state.h"

namespace {

constexpr int kBadSubOption = 5;

// The text after the first '=' of the word; null when there is none or nothing follows it.
const char* ValueOf(const char* word) {
  const char* equals = std::strchr(word, '=');
  if (!equals || !equals[1]) return nullptr;
  return equals + 1;
}

// MASK and TIMES: ','-separated items; a value of 0 or more is ORed into the field, a negative
// one ANDed into it, so that later items win.
template <typename Field>
int ApplyList(const char* list, const SubOptionRow* table, Field* field) {
  for (const char* item = list;;) {
    int32_t value = 0;
    if (MatchSubOption(item, table, &value) != 0) return kBadSubOption;
    if (value >= 0) {
      *field |= static_cast<Field>(value);
    } else {
      *field &= static_cast<Field>(value);
    }
    const char* comma = std::strchr(item, ',');
    if (!comma) return 0;
    item = comma + 1;
  }
}

int DateFilter(RunOptions* options, const char* word, uint16_t code) {
  const bool after = code == 26;
  options->dateFilter |= after ? kFilterAfter : kFilterBefore;
  uint32_t& date = after ? options->AfterDate : options->BeforeDate;
  const char* value = ValueOf(word);
  if (!value) {
    date = TodayPacked();
    return 0;
  }
  return ParseDate(value - 1, &date) == 0 ? 0 : kBadSubOption;
}

// CONSOLE, HELP and VERSION's command.
int SetCommand(RunOptions* options, const char* word, uint16_t code) {
  options->command = code;
  return 0;
}

int Directories(RunOptions* options, const char* word, uint16_t code) {
  options->Path = 1;
  options->Recurse = 1;
  const char* value = ValueOf(word);
  int32_t ignored = 0;
  if (value && MatchSubOption(value, DirectoriesTable, &ignored) != 0) return kBadSubOption;
  return 0;
}

// INCLUDE and EXCLUDE: the value joins the run's name block (read again before the run) and
// reaches the name list now, or names a list file whose lines do.
int NameOption(RunOptions* options, const char* word, uint16_t code) {
  const char* value = ValueOf(word);
  if (!value) return 0;
  const int excludeFlag = code == 34 ? 1 : 0;
  char*& block = excludeFlag ? options->excludeBlock : options->includeBlock;
  block = AppendNameBlock(block, value);
  if (value[0] == options->listMarker) {
    ReadListFile(value + 1, excludeFlag);
  } else if (ArchiveState* archive = gArchiveState) {
    if (excludeFlag) {
      AddExcludeName(&archive->names, value);
    } else {
      AddIncludeName(&archive->names, value);
    }
  }
  return 0;
}

// EXTRACT and TEST.
int ExtractOrTest(RunOptions* options, const char* word, uint16_t code) {
  options->command = code;
  if (const char* value = ValueOf(word)) {
    int32_t selection = 0;
    if (MatchSubOption(value, SelectionTable, &selection) != 0) return kBadSubOption;
    options->extractSelection = selection;
  }
  if (options->sortGiven) options->SortExtract = options->requestedSort;
  return 0;
}

int Locale(RunOptions* options, const char* word, uint16_t code) {
  if (const char* value = ValueOf(word)) {
    int32_t ignored = 0;
    if (MatchSubOption(value, LocaleTable, &ignored) != 0) return kBadSubOption;
  }
  if (ReadLocaleOrder() != 0) options->LocaleDate = kOrderMonthDayYear;
  return 0;
}

int Mask(RunOptions* options, const char* word, uint16_t code) {
  const char* value = ValueOf(word);
  if (!value) {
    options->attributeDropMask &= ~0x7u;
    return 0;
  }
  return ApplyList(value, AttributeTable, &options->attributeDropMask);
}

// A page length for paged output, which this program does not have: only checked.
int More(RunOptions* options, const char* word, uint16_t code) {
  const char* value = ValueOf(word);
  if (!value) return 0;
  bool nonZero = false;
  for (const char* c = value; *c; ++c) {
    if (*c < '0' || *c > '9') return kBadSubOption;
    if (*c != '0') nonZero = true;
  }
  return nonZero ? 0 : kBadSubOption;
}

int NoExtended(RunOptions* options, const char* word, uint16_t code) {
  options->NoExtended = 0;
  return 0;
}

int Overwrite(RunOptions* options, const char* word, uint16_t code) {
  const char* value = ValueOf(word);
  if (!value) {
    options->Overwrite = kOverwriteAlways;
    return 0;
  }
  int32_t mode = 0;
  if (MatchSubOption(value, OverwriteTable, &mode) != 0) return kBadSubOption;
  options->Overwrite = mode;
  return 0;
}

int Password(RunOptions* options, const char* word, uint16_t code) {
  options->Password = 1;
  options->passwordText = ValueOf(word);
  return 0;
}

int Print(RunOptions* options, const char* word, uint16_t code) {
  options->command = code;
  if (const char* value = ValueOf(word)) {
    // The device name stays in the caller's word; it is only ever read.
    options->printDevice = const_cast<char*>(value);
    return 0;
  }
  if (options->printDevice) return 0;
  if (!options->printDeviceBuffer) {
    options->printDeviceBuffer = new (std::nothrow) char[4];
    if (!options->printDeviceBuffer) return 0;
  }
  std::memcpy(options->printDeviceBuffer, "PRN", 4);
  options->printDevice = options->printDeviceBuffer;
  return 0;
}

// SILENT and WARNING: settings of the archiver that nothing in this program reads.
int NoEffect(RunOptions* options, const char* word, uint16_t code) { return 0; }

int Sort(RunOptions* options, const char* word, uint16_t code) {
  options->requestedSort = kSortName;
  if (const char* value = ValueOf(word)) {
    int32_t key = 0;
    if (MatchSubOption(value, SortTable, &key) != 0) return kBadSubOption;
    options->requestedSort = key;
  }
  options->sortGiven = 1;
  if (options->command == kCommandExtract || options->command == kCommandTest) {
    options->SortExtract = options->requestedSort;
  }
  return 0;
}

int Times(RunOptions* options, const char* word, uint16_t code) {
  const char* value = ValueOf(word);
  if (!value) return 0;
  return ApplyList(value, TimesTable, &options->Times);
}

int Version(RunOptions* options, const char* word, uint16_t code) {
  options->command = code;
  int32_t ignored = 0;
  const char* value = ValueOf(word);
  if (value && MatchSubOption(value, VersionTable, &ignored) != 0) return kBadSubOption;
  return 0;
}

// A drive letter, for labelling the disk; entries that carry a volume label need it.
int Volume(RunOptions* options, const char* word, uint16_t code) {
  options->volume = 1;
  const char* value = ValueOf(word);
  if (!value) return 0;
  const char c = value[0];
  const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  return letter && value[1] == 0 ? 0 : kBadSubOption;
}

}  // namespace

const OptionRow OptionTable[] = {
    {"AFTER", 26, DateFilter},
    {"BEFORE", 28, DateFilter},
    {"CONSOLE", kCommandConsole, SetCommand},
    {"DIRECTORIES", 32, Directories},
    {"EXCLUDE", 34, NameOption},
    {"EXTRACT", kCommandExtract, ExtractOrTest},
    {"FILETYPE", 73, nullptr},
    {"HELP", kCommandHelp, SetCommand},
    {"ID", 39, nullptr},
    {"INCLUDE", 41, NameOption},
    {"LINKS", 37, nullptr},
    {"LOCALE", 44, Locale},
    {"LOWERCASE", 29, nullptr},
    {"MASK", 45, Mask},
    {"MORE", 48, More},
    {"NAMETYPE", 51, nullptr},
    {"NOEXTENDED", 35, NoExtended},
    {"OVERWRITE", 57, Overwrite},
    {"PASSWORD", 59, Password},
    {"PERMISSION", 47, nullptr},
    {"PRINT", kCommandPrint, Print},
    {"SILENT", 64, NoEffect},
    {"SORT", 65, Sort},
    {"TEST", kCommandTest, ExtractOrTest},
    {"TIMES", 71, Times},
    {"TRANSLATE", 72, nullptr},
    {"VERSION", kCommandVersion, Version},
    {"VOLUME", 74, Volume},
    {"WARNING", 58, NoEffect},
    {nullptr, 0, nullptr},
};

static_assert(sizeof OptionTable / sizeof OptionTable[0] == kOptionTableRows + 1,
              "the option table and its row count disagree");

const SubOptionRow SelectionTable[] = {
    {"ALL", kSelectAll}, {"FRESHEN", kSelectFreshen}, {"UPDATE", kSelectUpdate}, {nullptr, 0}};

const SubOptionRow OverwriteTable[] = {
    {"PROMPT", kOverwriteAsk}, {"ALL", kOverwriteAlways}, {"NEVER", kOverwriteNever},
    {nullptr, 0}};

// The low three bits are the sort key; 8 walks the sorted list backwards.
const SubOptionRow SortTable[] = {
    {"CRC", 7},        {"-CRC", 15},       {"+CRC", 7},       {"DATE", 4},
    {"-DATE", 12},     {"+DATE", 4},       {"EXTENSION", 3},  {"-EXTENSION", 11},
    {"+EXTENSION", 3}, {"NAME", 2},        {"-NAME", 10},     {"+NAME", 2},
    {"NATURAL", 0},    {"-NATURAL", 8},    {"+NATURAL", 0},   {"NONE", 0},
    {"-NONE", 8},      {"+NONE", 0},       {"RATIO", 6},      {"-RATIO", 14},
    {"+RATIO", 6},     {"SIZE", 5},        {"-SIZE", 13},     {"+SIZE", 5},
    {nullptr, 0}};

// Drop-mask values: bit 0 read-only, bit 1 hidden, bit 2 system. Keeping an attribute clears its
// drop bit (AND), dropping it sets the bit (OR).
const SubOptionRow AttributeTable[] = {
    {"HIDDEN", -3},  {"+HIDDEN", -3},  {"-HIDDEN", 2},   {"SYSTEM", -5},
    {"+SYSTEM", -5}, {"-SYSTEM", 4},   {"READONLY", -2}, {"+READONLY", -2},
    {"-READONLY", 1}, {"NONE", 7},     {"ALL", -8},      {nullptr, 0}};

// Bit 0 last access, bit 1 last write, bit 2 creation.
const SubOptionRow TimesTable[] = {
    {"ACCESS", 1},   {"MODIFY", 2},   {"CREATE", 4},   {"+ACCESS", 1},
    {"+MODIFY", 2},  {"+CREATE", 4},  {"-ACCESS", -2}, {"-MODIFY", -3},
    {"-CREATE", -5}, {"NONE", -8},    {"ALL", 7},      {nullptr, 0}};

const SubOptionRow VersionTable[] = {{"MAJOR", 0}, {"MINOR", 1}, {"STEP", 2}, {nullptr, 0}};

const SubOptionRow LocaleTable[] = {{"ENVIRONMENT", 0}, {nullptr, 0}};

const SubOptionRow DirectoriesTable[] = {{nullptr, 0}};
