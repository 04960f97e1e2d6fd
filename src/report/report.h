// Everything the system shows goes through here: the numbered message tables, fatal errors that
// end the process with their number, archive-structure errors (number + 149), counted warnings,
// the progress notifications for the main dialog, and the string table.
#pragma once

#include <cstdint>

// Progress notifications, sent to ProgressWindow (the main dialog handles 0x700 to 0x800).
constexpr unsigned UM_ITEM = 0x701;
constexpr unsigned UM_TESTED = 0x702;
constexpr unsigned UM_WARNING = 0x703;
constexpr unsigned UM_EXTRACTED = 0x705;
constexpr unsigned UM_ACTION = 0x706;
constexpr unsigned UM_SKIPPING = 0x707;
constexpr unsigned UM_AUTHENTIC = 0x70B;
constexpr unsigned UM_TESTING = 0x746;

// Exit codes that are not message numbers.
constexpr int kExitCancelled = 255;
constexpr int kExitVersion = 25;
constexpr int kArchiveErrorExitOffset = 149;

// Where reports end up: message boxes and the main dialog in the stub, the terminal in
// vespa-console, a recorder in tests. Windows are opaque handles to the core.
class ReportFrontEnd {
 public:
  virtual ~ReportFrontEnd() = default;
  // A warning message box owned by owner (may be null).
  virtual void showMessage(void* owner, const char* text, const char* caption) = 0;
  // Delivers one progress notification (SendMessageA in the stub).
  virtual intptr_t sendProgress(void* window, unsigned message, uintptr_t wParam,
                                const char* text) = 0;
  // Copies the window's caption (at most size chars including the NUL).
  virtual void windowText(void* window, char* buffer, int size) { (void)window, (void)buffer, (void)size; }
  virtual void centerWindow(void* window) { (void)window; }
  // Loads string resource id into buffer; returns its length, 0 when it does not exist.
  // The default reads the built-in copy of the string table.
  virtual int loadString(int id, char* buffer, int size);
};

// The front end in use; the default one prints to standard error.
ReportFrontEnd* CurrentFrontEnd();
void SetReportFrontEnd(ReportFrontEnd* frontEnd);

// Process-wide reporting state.
extern void* ProgressWindow;     // the main dialog during a run; null otherwise
extern int gWarningFlag;         // set to 1 by every warning; HELP's exit code
extern unsigned gWarningCounter;  // counted by the main dialog for every warning it receives
extern double gExtractedTotal;   // bytes of the files extracted so far

// Message texts: numbers 2 to 24 (table A), 100 to 137 (fatal, table B), 150 to 155 (archive
// errors, table B), warnings 0 to 28 (table B).
const char* FatalText(int number);
const char* ArchiveErrorText(int number);
const char* WarningText(int number);

[[noreturn]] void ReportFatal(int number, const char* detail);
[[noreturn]] void ReportArchiveError(int number, const char* detail);
void ReportWarning(int number, const char* detail);
void ShowMessage(const char* text);
// A new buffer of size chars holding the string resource (empty when the id does not exist);
// the caller frees it with delete[].
char* LoadResourceText(int id, void* module, int size);
char* WindowCaption(void* window);
void CenterWindow(void* window);
// Shared static buffer: decimal digits, comma thousands separators, "K". Wide enough for the
// figures of today's disks, which no longer fit in 32 bits of kilobytes.
char* FormatKilobytes(uint64_t value);
char* InsertThousandsSeparators(char* text);

// Ends the process with code after the exit handlers have run.
[[noreturn]] void EndProcess(int code);

// The progress notifications; each does nothing while ProgressWindow is null.
void NotifyItem(const char* name);
void NotifyTested();
void NotifyExtracted();
void NotifyAction(const char* label);
void NotifySkipping(const char* name);
void NotifyAuthentic();
void NotifyTesting();
