// The run settings filled by the option parser. One process-wide instance; nothing resets it
// between the runs of one process.
#pragma once

#include <cstdint>

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

struct RunOptions {
  int command;
  int Comment;
  int extractSelection;
  int Overwrite;
  uint32_t attributeDropMask;  // bit 0 read-only, 1 hidden, 2 system: set = dropped
  int Path;
  int dateFilter;
  int requestedSort;
  int SortExtract;
  int Times;
  int LocaleDate;  // 2 month-day-year, 3 day-month-year, 4 year-month-day
  int NoExtended;  // 1 unless NOEXTENDED was given
  int Header;
  int Move;
  int Password;
  int Recurse;
  int sortGiven;
  int volume;
  char switchChar;
  char listMarker;
  char secondSwitchChar;
  const char* passwordText;  // not owned; null when PASSWORD had no text
  char* includeBlock;        // owned name block
  char* excludeBlock;        // owned name block
  char* printDevice;         // the text after '=' of PRINT, or printDeviceBuffer
  char* printDeviceBuffer;   // owned "PRN", or an owned copy of a device named in a list file
  char* passwordBuffer;      // owned copy of a password named in a list file
  uint32_t AfterDate;
  uint32_t BeforeDate;

  RunOptions();
  ~RunOptions();
};

extern RunOptions gRunOptions;

void ResetOptions(RunOptions* options);
// What ReleaseArchiveState does: frees the owned buffers and zeroes the whole record.
void ZeroOptions(RunOptions* options);

// Command classes.
bool ReadsArchive(int command);
bool WritesArchive(int command);
bool NeedsNoArchive(int command);
