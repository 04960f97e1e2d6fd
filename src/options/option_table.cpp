// The option keywords, their sub-option tables, and the handlers that turn option words into
// run settings. The vocabulary is a command-line archiver's; this program keeps the keywords of
// its extraction side, and several of them are accepted without effect.
#include "options/option_table.h"

#include <cstring>
#include <new>

#include "options/dates.h"
#include "options/parser.h"
#include "report/messages.h"

namespace {

constexpr int kBadSubOption = kFatalBadSubOption;

// The text after the first '=' of the word; null when there is none or nothing follows it.
const char* ValueOf(const char* word) {
  const char* equals = std::strchr(word, '=');
  if (!equals || !equals[1]) return nullptr;
  return equals + 1;
}

// MASK and TIMES: ','-separated items; a value of 0 or more is ORed into the field, a negative
// one ANDed into it, so that later items win.
template <typename Field>
int ApplyList(OptionParse& parse, const char* list, const SubOptionRow* table, Field* field) {
  for (const char* item = list;;) {
    int32_t value = 0;
    if (int result = parse.subOption(item, table, &value)) return result;
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

int DateFilter(OptionParse& parse, const char* word, uint16_t code) {
  RunOptions* options = &parse.options();
  const bool after = code == 26;
  options->dateFilter |= after ? kFilterAfter : kFilterBefore;
  uint32_t& date = after ? options->AfterDate : options->BeforeDate;
  const char* value = ValueOf(word);
  if (!value) {
    date = TodayPacked();
    return 0;
  }
  return ParseDate(value - 1, options->LocaleDate, &date) == 0 ? 0 : kBadSubOption;
}

// CONSOLE, HELP and VERSION's command.
int SetCommand(OptionParse& parse, const char* word, uint16_t code) {
  RunOptions* options = &parse.options();
  options->command = static_cast<Command>(code);
  return 0;
}

int Directories(OptionParse& parse, const char* word, uint16_t code) {
  RunOptions* options = &parse.options();
  options->Path = true;
  options->Recurse = true;
  const char* value = ValueOf(word);
  int32_t ignored = 0;
  if (value) return parse.subOption(value, DirectoriesTable, &ignored);
  return 0;
}

// INCLUDE and EXCLUDE: the value is a name, or names a list file whose lines are names.
int NameOption(OptionParse& parse, const char* word, uint16_t code) {
  const char* value = ValueOf(word);
  if (!value) return 0;
  const int excludeFlag = code == 34 ? 1 : 0;
  if (value[0] == parse.options().listMarker) return parse.listFile(value + 1, excludeFlag);
  Text name(value);
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '\\') name[i] = '/';
  }
  (excludeFlag ? parse.line().excludes : parse.line().includes).push_back(name);
  return 0;
}

// EXTRACT and TEST.
int ExtractOrTest(OptionParse& parse, const char* word, uint16_t code) {
  RunOptions* options = &parse.options();
  options->command = static_cast<Command>(code);
  if (const char* value = ValueOf(word)) {
    int32_t selection = 0;
    if (int result = parse.subOption(value, SelectionTable, &selection)) return result;
    options->extractSelection = static_cast<ExtractSelection>(selection);
  }
  if (options->sortGiven) options->SortExtract = options->requestedSort;
  return 0;
}

int Locale(OptionParse& parse, const char* word, uint16_t code) {
  RunOptions* options = &parse.options();
  if (const char* value = ValueOf(word)) {
    int32_t ignored = 0;
    if (int result = parse.subOption(value, LocaleTable, &ignored)) return result;
  }
  int order = kOrderMonthDayYear;
  options->LocaleDate = ReadLocaleOrder(&order) == 0 ? order : kOrderMonthDayYear;
  return 0;
}

int Mask(OptionParse& parse, const char* word, uint16_t code) {
  RunOptions* options = &parse.options();
  const char* value = ValueOf(word);
  if (!value) {
    options->attributeDropMask &= ~0x7u;
    return 0;
  }
  return ApplyList(parse, value, AttributeTable, &options->attributeDropMask);
}

// A page length for paged output, which this program does not have: only checked.
int More(OptionParse& parse, const char* word, uint16_t code) {
  const char* value = ValueOf(word);
  if (!value) return 0;
  bool nonZero = false;
  for (const char* c = value; *c; ++c) {
    if (*c < '0' || *c > '9') return kBadSubOption;
    if (*c != '0') nonZero = true;
  }
  return nonZero ? 0 : kBadSubOption;
}

int NoExtended(OptionParse& parse, const char* word, uint16_t code) {
  RunOptions* options = &parse.options();
  options->useNtfsTimes = false;
  return 0;
}

int Overwrite(OptionParse& parse, const char* word, uint16_t code) {
  RunOptions* options = &parse.options();
  const char* value = ValueOf(word);
  if (!value) {
    options->Overwrite = kOverwriteAlways;
    return 0;
  }
  int32_t mode = 0;
  if (int result = parse.subOption(value, OverwriteTable, &mode)) return result;
  options->Overwrite = static_cast<OverwriteMode>(mode);
  return 0;
}

int Password(OptionParse& parse, const char* word, uint16_t code) {
  RunOptions* options = &parse.options();
  options->Password = true;
  const char* value = ValueOf(word);
  options->passwordText = value ? value : "";
  return 0;
}

int Print(OptionParse& parse, const char* word, uint16_t code) {
  RunOptions* options = &parse.options();
  options->command = static_cast<Command>(code);
  if (const char* value = ValueOf(word)) {
    options->printDevice = value;
  } else if (options->printDevice.empty()) {
    options->printDevice = "PRN";
  }
  return 0;
}

// SILENT and WARNING: settings of the archiver that nothing in this program reads.
int NoEffect(OptionParse& parse, const char* word, uint16_t code) { return 0; }

int Sort(OptionParse& parse, const char* word, uint16_t code) {
  RunOptions* options = &parse.options();
  options->requestedSort = kSortName;
  if (const char* value = ValueOf(word)) {
    int32_t key = 0;
    if (int result = parse.subOption(value, SortTable, &key)) return result;
    options->requestedSort = static_cast<SortKey>(key);
  }
  options->sortGiven = true;
  if (options->command == kCommandExtract || options->command == kCommandTest) {
    options->SortExtract = options->requestedSort;
  }
  return 0;
}

int Times(OptionParse& parse, const char* word, uint16_t code) {
  RunOptions* options = &parse.options();
  const char* value = ValueOf(word);
  if (!value) return 0;
  return ApplyList(parse, value, TimesTable, &options->Times);
}

int Version(OptionParse& parse, const char* word, uint16_t code) {
  RunOptions* options = &parse.options();
  options->command = static_cast<Command>(code);
  int32_t ignored = 0;
  const char* value = ValueOf(word);
  if (value) return parse.subOption(value, VersionTable, &ignored);
  return 0;
}

// A drive letter, for labelling the disk; entries that carry a volume label need it.
int Volume(OptionParse& parse, const char* word, uint16_t code) {
  RunOptions* options = &parse.options();
  options->volume = true;
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
