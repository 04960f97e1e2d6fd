// The option parser: option words, '@' list files and names, into gRunOptions, the name lists
// and the archive name and destination of gArchiveState. Every parsing error ends the process
// through ReportFatal.
#pragma once

#include <cstdint>

#include "options/option_table.h"

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

// The switch character, the second switch character or '/'.
bool IsSwitchCharacter(char c);

// A switch character opens s as an option word; so does a leading '/', except in a word that
// holds a second '/' before any '=': no keyword holds one, and every absolute path on a
// file system rooted at '/' does (a name directly under the root still reads as an option).
bool OpensOptionWord(const char* s);

// Processes a null-terminated vector of option words, '@' list files and names. Without an
// archive state names go nowhere and no archive name is required, but options still parse.
void ProcessArguments(char** vector);

// word: the option text after its switch character. Returns 0, or the fatal message number:
// 2 ambiguous keyword, 4 unknown keyword, or the handler's own result.
int ProcessOptionWord(const char* word);

// Result kMatchUnique, kMatchNone or kMatchAmbiguous; code and index of the row that matched
// (of the last of the equally good rows when ambiguous).
int MatchOptionKeyword(const char* word, const OptionRow* table, uint16_t* code, int* index);

// text: the sub-option with whatever follows it. Result 0 with *value, or 1 for no match; an
// ambiguous sub-option ends the process with message 3.
int MatchSubOption(const char* text, const SubOptionRow* table, int32_t* value);

// Reads a list file: option lines are processed, other lines become names (exclude names when
// excludeFlag is set). Returns the result of closing the file. A file that cannot be opened, and
// a list file named from within a list file, end the process with message 18.
int ReadListFile(const char* name, int excludeFlag);

// The next line of the list file being read into line (kListLineMax + 1 chars), without its line
// feed; returns the count of characters stored, 0 at the end of the file or for an empty line.
int ReadListLine(char* line);

// A name block is a run of NUL-terminated strings ended by an empty string. Returns the new
// block holding text after the old strings, and frees the old one; when memory runs out the old
// block is returned unchanged.
char* AppendNameBlock(char* block, const char* text);
// Bytes of all strings with their NULs plus the final NUL; 0 for a null block.
int NameBlockLength(const char* block);
