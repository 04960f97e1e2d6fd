// The option parser: option words, '@' list files and names, into a command line value: the
// run settings, the archive name, the destination and the include and exclude names. It touches
// no archive; an error comes back as a status carrying the fatal message and its detail.
#pragma once

#include <cstdint>
#include "fs/fs.h"
#include "fs/text.h"
#include "options/option_table.h"
#include "options/run_options.h"
#include "report/status.h"

// Keyword matching copies the word into a work area of this size: longer option words are
// refused as unknown (message 4).
constexpr int kOptionWorkArea = 80;
// Characters kept of one list-file line; the rest of a longer line is dropped.
constexpr int kListLineMax = 250;
// List files are read in blocks of this size.
constexpr int kListBlockSize = 1024;

constexpr int kMatchUnique = 0;
constexpr int kMatchNone = 1;
constexpr int kMatchAmbiguous = 2;

// What an argument vector asks for.
struct CommandLine {
  RunOptions options;
  Text archiveName;  // the first name; names after it are include names
  Text destination;  // '/' separators, ending in one; empty when none was given
  TextList includes;  // in the order given
  TextList excludes;
};

// Processes a null-terminated vector of option words, '@' list files and names into *line,
// which may come in with settings or an archive name already set. A command that needs an
// archive and got no name is refused (message 6).
Status ParseArguments(char** vector, CommandLine* line);

// The parse in progress, as the option handlers see it.
class OptionParse {
 public:
  explicit OptionParse(CommandLine* line) : line_(line) {}
  OptionParse(const OptionParse&) = delete;
  OptionParse& operator=(const OptionParse&) = delete;

  RunOptions& options() { return line_->options; }
  CommandLine& line() { return *line_; }

  Status arguments(char** vector);
  // word: the option text after its switch character. Returns 0, or the fatal message number:
  // 2 ambiguous keyword, 4 unknown keyword, or the handler's own result; detail() then names
  // what was refused.
  int optionWord(const char* word);
  // Reads a list file: option lines are processed, other lines become names (exclude names when
  // excludeFlag is set). A file that cannot be opened, and a list file named from within a list
  // file, are refused with message 18.
  int listFile(const char* name, int excludeFlag);
  // A sub-option of value in table: 0 with *value, 5 for no match, 3 when ambiguous.
  int subOption(const char* value, const SubOptionRow* table, int32_t* result);
  // What the last refused word or value was; null for the word itself.
  const char* detail() const { return detail_.empty() ? nullptr : detail_.c_str(); }

 private:
  struct ListFile {
    FileHandle handle = kInvalidHandle;
    char block[kListBlockSize];
    uint32_t filled = 0;  // valid bytes in block
    uint32_t next = 0;    // next byte to take
    bool endOfFile = true;
    bool active = false;
  };
  int readListLine(char* line);
  void takeName(const char* name, int excludeFlag, bool fromCommandLine);

  CommandLine* line_;
  ListFile list_;
  Text detail_;
};

// The switch character, the second switch character or '/'.
bool IsSwitchCharacter(const RunOptions& options, char c);

// A switch character opens s as an option word; so does a leading '/', except in a word that
// holds a second '/' before any '=': no keyword holds one, and every absolute path on a
// file system rooted at '/' does (a name directly under the root still reads as an option).
bool OpensOptionWord(const RunOptions& options, const char* s);

// Result kMatchUnique, kMatchNone or kMatchAmbiguous; code and index of the row that matched
// (of the last of the equally good rows when ambiguous).
int MatchOptionKeyword(const char* word, const OptionRow* table, uint16_t* code, int* index);

// text: the sub-option with whatever follows it. Result kMatchUnique with *value, kMatchNone,
// or kMatchAmbiguous.
int MatchSubOption(const char* text, const SubOptionRow* table, int32_t* value);

// A name given on the command line as the destination: one that ends in a separator, starts
// with one or names a drive, or an existing directory. The accepted form uses '/' and ends in
// one. False when text is not a destination, or does not fit a path with its separator.
bool AcceptDestination(const char* text, Text* destination);
