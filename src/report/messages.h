// The numbered messages: every number the engine reports has its name here, and its text in
// messages.cpp. Fatal messages end a run with their number as exit code; archive errors with
// their number + 149; warnings are counted and the run goes on.
#pragma once

// Fatal, table A (2 to 24).
constexpr int kFatalAmbiguousOption = 2;
constexpr int kFatalAmbiguousSubOption = 3;
constexpr int kFatalUnknownOption = 4;
constexpr int kFatalBadSubOption = 5;
constexpr int kFatalNoArchiveName = 6;
constexpr int kFatalDiskFull = 11;
constexpr int kFatalArchiveNotFound = 12;
constexpr int kFatalCannotOpenArchive = 13;
constexpr int kFatalCannotOpenForWriting = 16;
constexpr int kFatalCannotOpenList = 18;
constexpr int kFatalAborted = 19;
constexpr int kFatalDriveNotReady = 24;
// Fatal, out of memory (table B).
constexpr int kFatalNoMemory = 100;
constexpr int kFatalNoMemoryForDirectory = 103;
constexpr int kFatalNoMemoryForList = 104;
constexpr int kFatalNoMemoryForExtraction = 105;
constexpr int kFatalNoMemoryForAuthenticity = 108;

// Archive-structure errors (table B).
constexpr int kArchiveReadError = 150;
constexpr int kArchiveTooSmall = 151;
constexpr int kArchiveNoDirectory = 152;
constexpr int kArchiveEndedEarly = 153;
constexpr int kArchiveBadLocalHeader = 154;
constexpr int kArchiveTooManyFiles = 155;

// Warnings (table B).
constexpr int kWarnCannotCreate = 1;
constexpr int kWarnIllegalPath = 2;
constexpr int kWarnNeedsVersion = 3;
constexpr int kWarnCrcFailed = 4;
constexpr int kWarnUnexpectedSize = 5;
constexpr int kWarnBadTable = 10;
constexpr int kWarnBadBlockType = 11;
constexpr int kWarnDataEnded = 12;
constexpr int kWarnSkippingEncrypted = 13;
constexpr int kWarnUnknownMethod = 18;
constexpr int kWarnLzmaBadData = 19;
constexpr int kWarnWrongPassword = 20;
constexpr int kWarnLzmaNoMemory = 21;
constexpr int kWarnAuthenticityUnvouched = 22;
constexpr int kWarnAuthenticityFailed = 23;
constexpr int kWarnLzmaDictionaryTooLarge = 24;
constexpr int kWarnNoMemoryForTimes = 27;
// Warnings of this program's own, after the table's: the strong encryption of entries, and
// the replacement of existing files.
constexpr int kWarnAesFieldDamaged = 29;      // the 0x9901 field is short or names the unknown
constexpr int kWarnAuthenticationFailed = 30;  // the data does not match its authentication code
constexpr int kWarnCryptoUnavailable = 31;     // the system's cryptography refused to work
constexpr int kWarnDamagedKept = 32;  // a damaged entry did not replace the existing file

// Exit codes that are not message numbers.
constexpr int kExitCancelled = 255;
constexpr int kExitVersion = 25;
constexpr int kArchiveErrorExitOffset = 149;

// Message texts: numbers 2 to 24 (table A), 100 to 137 (fatal, table B), 150 to 155 (archive
// errors, table B), warnings 0 to 28 (table B) and this program's own from 29.
const char* FatalText(int number);
const char* ArchiveErrorText(int number);
const char* WarningText(int number);
