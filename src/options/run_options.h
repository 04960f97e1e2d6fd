// The run settings: what one test or extraction was asked to do. A value: the option parser
// returns one, the main dialog fills one, and a run only reads it.
#pragma once

#include <cstdint>

#include "fs/text.h"

// Command codes.
constexpr int kCommandExtract = 6;
constexpr int kCommandTest = 9;
constexpr int kCommandHelp = 10;
constexpr int kCommandPrint = 12;
constexpr int kCommandConsole = 13;
constexpr int kCommandVersion = 20;

// Overwrite modes.
constexpr int kOverwriteAsk = 0;
constexpr int kOverwriteNever = 1;
constexpr int kOverwriteAlways = 2;

// Extract selections.
constexpr int kSelectAll = 0;
constexpr int kSelectFreshen = 1;
constexpr int kSelectUpdate = 2;

// Date-filter flags.
constexpr int kFilterAfter = 1;
constexpr int kFilterBefore = 2;

// Time-selection bits of Times.
constexpr int kTimeAccess = 1;
constexpr int kTimeModify = 2;
constexpr int kTimeCreate = 4;

// Sort keys of the entry list; 8 added walks the sorted list backwards.
constexpr int kSortNatural = 0;
constexpr int kSortName = 2;
constexpr int kSortExtension = 3;
constexpr int kSortDate = 4;
constexpr int kSortSize = 5;
constexpr int kSortRatio = 6;
constexpr int kSortCrc = 7;
constexpr int kSortDescending = 8;

// Date orders of LocaleDate; any other value reads as month-day-year.
constexpr int kOrderMonthDayYear = 2;
constexpr int kOrderDayMonthYear = 3;
constexpr int kOrderYearMonthDay = 4;

struct RunOptions {
  int command = kCommandExtract;
  int Comment = 0;
  int extractSelection = kSelectAll;
  int Overwrite = kOverwriteAsk;
  uint32_t attributeDropMask = 0xFFFFFFFFu;  // bit 0 read-only, 1 hidden, 2 system: set = dropped
  int Path = 0;
  int dateFilter = 0;
  int requestedSort = 0;
  int SortExtract = 0;
  int Times = kTimeAccess | kTimeModify | kTimeCreate;
  int LocaleDate = kOrderMonthDayYear;
  bool useNtfsTimes = true;  // false once NOEXTENDED was given
  int Header = 0;
  int Move = 0;
  int Password = 0;  // encrypted entries are tried (1) or skipped (0)
  int Recurse = 0;
  int sortGiven = 0;
  int volume = 0;
  char switchChar = '-';
  char listMarker = '@';
  char secondSwitchChar = '-';
  Text passwordText;  // empty when PASSWORD had no text: the password is asked for
  Text printDevice;   // PRINT's device; empty until PRINT is given
  uint32_t AfterDate = 0;
  uint32_t BeforeDate = 0;
};

// HELP and VERSION run without an archive.
bool NeedsNoArchive(int command);
