// The run settings: what one test or extraction was asked to do. A value: the option parser
// returns one, the main dialog fills one, and a run only reads it.
#pragma once

#include <cstdint>

#include "fs/text.h"

// What a run does; the numbers are the option table's codes.
enum Command : int {
  kCommandExtract = 6,
  kCommandTest = 9,
  kCommandHelp = 10,
  kCommandPrint = 12,
  kCommandConsole = 13,
  kCommandVersion = 20,
};

// What becomes of a file that is already there; the numbers are OVERWRITE's values.
enum OverwriteMode : int { kOverwriteAsk = 0, kOverwriteNever = 1, kOverwriteAlways = 2 };

// Which entries EXTRACT takes: all, only those already there (FRESHEN), or those too that are
// not (UPDATE), each only when newer.
enum ExtractSelection : int { kSelectAll = 0, kSelectFreshen = 1, kSelectUpdate = 2 };

// Date-filter flags.
constexpr int kFilterAfter = 1;
constexpr int kFilterBefore = 2;

// Time-selection bits of Times.
constexpr int kTimeAccess = 1;
constexpr int kTimeModify = 2;
constexpr int kTimeCreate = 4;

// Sort keys of the entry list; kSortDescending added walks the sorted list backwards (a key
// between 8 and 15 is such a sum).
enum SortKey : int {
  kSortNatural = 0,
  kSortName = 2,
  kSortExtension = 3,
  kSortDate = 4,
  kSortSize = 5,
  kSortRatio = 6,
  kSortCrc = 7,
  kSortDescending = 8,
};

// Date orders of LocaleDate; any other value reads as month-day-year.
constexpr int kOrderMonthDayYear = 2;
constexpr int kOrderDayMonthYear = 3;
constexpr int kOrderYearMonthDay = 4;

struct RunOptions {
  Command command = kCommandExtract;
  bool Comment = false;
  ExtractSelection extractSelection = kSelectAll;
  OverwriteMode Overwrite = kOverwriteAsk;
  uint32_t attributeDropMask = 0xFFFFFFFFu;  // bit 0 read-only, 1 hidden, 2 system: set = dropped
  bool Path = false;
  int dateFilter = 0;
  SortKey requestedSort = kSortNatural;
  SortKey SortExtract = kSortNatural;
  int Times = kTimeAccess | kTimeModify | kTimeCreate;
  int LocaleDate = kOrderMonthDayYear;
  bool useNtfsTimes = true;  // false once NOEXTENDED was given
  bool Header = false;
  bool Move = false;
  bool Password = false;  // encrypted entries are tried (true) or skipped
  bool Recurse = false;
  bool sortGiven = false;
  bool volume = false;
  char switchChar = '-';
  char listMarker = '@';
  char secondSwitchChar = '-';
  Text passwordText;  // empty when PASSWORD had no text: the password is asked for
  Text printDevice;   // PRINT's device; empty until PRINT is given
  uint32_t AfterDate = 0;
  uint32_t BeforeDate = 0;
};

// HELP and VERSION run without an archive.
bool NeedsNoArchive(Command command);
