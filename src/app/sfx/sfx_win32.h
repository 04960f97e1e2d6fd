// What the stub's Win32 files share: the program's instance and icon, the session and the main
// dialog's state, the front end, the callbacks and the dialogs.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "app/run_log.h"
#include "app/session.h"
#include "app/switches.h"
#include "fs/text.h"
#include "report/report.h"
#include "report/user_callbacks.h"
#include "shell/program_groups.h"
#include "shell/run_after.h"
#include "shell/setup_directives.h"

// Every string resource is loaded into a buffer of this many chars.
constexpr int kStringSize = 256;

// What a run last reported, for the main dialog to draw at its own pace. The run's thread
// writes it, the dialog's thread reads it, both under RunLink::lock.
struct ReportedProgress {
  int actionId = 0;        // a string resource for the action line, or 0 for actionLabel
  char actionLabel[64] = {};
  Text item;               // the item line: an entry's name or a warning's text
  bool authentic = false;  // the marker line shows the authenticity mark
  unsigned warnings = 0;
  uint64_t extractedBytes = 0;  // bytes of the files the run wrote whole
  uint64_t writingBytes = 0;    // of the large file being written, shown on top until it ends
  unsigned changes = 0;    // counts every report: the dialog redraws when it moved
};

// The engine runs on a thread of its own while the dialog's thread draws and answers the user.
// Every window stays on the dialog's thread: the run hands it each question and message box
// (CallOnDialogThread) and waits for the answer.
struct RunLink {
  bool active = false;          // a run's thread exists
  DWORD dialogThread = 0;       // the thread of the main dialog and of every window
  HANDLE thread = nullptr;      // the run's thread while active
  HANDLE callReady = nullptr;   // manual reset: callFunction waits to be made
  HANDLE callDone = nullptr;    // auto reset: it was made
  void (*callFunction)(void*) = nullptr;
  void* callArgument = nullptr;
  // The user is being asked whether to end the program: the run waits at its next report.
  std::atomic<bool> hold{false};
  // The user chose to end it: the run (and every worker) stops at its next read of an entry's
  // data, in the middle of a large entry too, and then waits at its next report.
  std::atomic<bool> stop{false};
  CRITICAL_SECTION lock;        // guards progress; initialised with the first run
  bool lockReady = false;
  ReportedProgress progress;
  unsigned drawnChanges = 0;    // progress.changes as the dialog last drew it
};

// What the command line asked for, when the archive's builder allowed switches (the deployment
// record); all of it stays at rest without that record.
struct DeployState {
  uint16_t flags = 0;             // of the deployment record
  Switches switches;              // as given; switches.any: the run ends with deployment codes
  bool autoRun = false;           // the main dialog extracts at once into chosenDestination
  // How the run under the main dialog ended: whether it extracted everything it could.
  enum class Outcome { kNone, kExtracted, kCancelled, kFailed } outcome = Outcome::kNone;
  UnattendedCallbacks* asked = nullptr;  // the callbacks of a run that asks nothing
  char temporaryFolder[kPathSize] = {};  // the run-from-temp folder while it exists
  // Removes it; set while it exists, so that every way out of the program (EndStub) takes it
  // away without linking the code that made it.
  void (*removeFolder)() = nullptr;
  RunLog* log = nullptr;    // /LOG= and the parent's console: the lines of the run
};

// The stub's process-wide state. Windows calls the dialog procedures without any context of
// ours, so what they share lives here, in one place: what Windows hands the program (instance,
// icon), the one session from start-up to the end of the main dialog, the directives stored with
// the program, the Program Manager conversation, and the main dialog's own state.
struct StubState {
  HINSTANCE instance = nullptr;  // for resources and dialogs
  HICON icon = nullptr;          // icon 3
  Session* session = nullptr;
  // Read from the program file at start-up; its flags word is the dialog's option state,
  // written back before every run.
  SetupDirectives directives;
  DdeState dde;                  // open from the first group creation to the end
  // The common dialog's "commdlg_LBSelChangedNotify", registered when the main dialog opens;
  // the dialog procedure compares every message with it.
  UINT directoryChangedMessage = 0;
  // The program to run after an extraction, read at start-up; checked is the dialog's box,
  // written back before every run.
  RunAfter runAfter;
  char chosenDestination[kPathSize] = {};  // as the Extract button last read it
  bool inRun = false;            // a run is executing inside the dialog's button handler
  bool testing = false;          // that run is a test: the dialog stays open after it
  bool postActionsAllowed = true;  // cleared when the user confirms Cancel during a run
  unsigned warnings = 0;         // the run's warnings: shown by the dialog, read by FinishRun
  RunLink run;                   // the run in progress and what it reported
  DeployState deploy;
};
extern StubState gStub;

// Makes function(argument) on the dialog's thread, between two of its messages, and returns
// when it is done; at once when called there or when no run's thread exists.
void CallOnDialogThread(void (*function)(void*), void* argument);
// The same for a callable object (a lambda), which may write its answer where it captured.
template <class Work>
void OnDialogThread(Work& work) {
  CallOnDialogThread([](void* argument) { (*static_cast<Work*>(argument))(); }, &work);
}
// Called by every report of the run: waits there while the user is asked whether to end.
void PollRun();

// Message boxes, window texts and the string table of the program's resources.
ReportFrontEnd& StubFrontEnd();
// The session's reporter; before the session exists, one over the stub's front end.
Reporter& StubReporter();
// The window that receives progress notifications (the main dialog); null outside a dialog.
HWND ProgressWindow();
// The caption of window, or the program's name, in a buffer of its own: Caption(w).get() lasts
// to the end of the statement that asks for it.
class Caption {
 public:
  explicit Caption(HWND window);
  const char* get() const { return text_; }

 private:
  char text_[kCaptionTextSize];
};
void CenterWindow(HWND window);

// Texts of windows, message boxes and string resources in UTF-8, drawn through the wide calls
// (wide_text_win32.cpp): every name shows as it is.
void SetWindowTextUtf8(HWND window, const char* utf8);
void SetControlTextUtf8(HWND dialog, int id, const char* utf8);
// The window's text into out (size bytes, cut on a character); returns its length.
int GetWindowTextUtf8(HWND window, char* out, int size);
int GetControlTextUtf8(HWND dialog, int id, char* out, int size);
int MessageBoxUtf8(HWND owner, const char* text, const char* caption, UINT type);
void ReplaceSelectionUtf8(HWND edit, const char* utf8);
int LoadStringUtf8(HINSTANCE instance, int id, char* out, int size);
// Shows the message of a fatal or archive error and ends the process with its exit code.
[[noreturn]] void EndStub(const Status& status);

// The questions of the engine and the archive reader, put through dialogs 105 and 106 and
// message boxes owned by the callbacks' owner window. Null when out of memory.
UserCallbacks* CreateWin32Callbacks();

// Runs the command of the run-after record once an extraction has completed: destination (a
// full path ending with '\') in place of "%0" and as the working directory, no shell between.
// A program that cannot be found or started is said so in a message box owned by owner.
void RunProgramAfter(HWND owner, const char* command, const char* destination);


// Waits for the run-after program (started as RunProgramAfter starts it) and gives its exit
// code; false when it could not be found or started (said through the front end).
bool RunProgramAndWait(HWND owner, const char* command, const char* destination, DWORD* exitCode);

// --- runs started with switches (deploy_win32.cpp) -----------------------------------------
// Reads the command line of an archive with the deployment record into gStub.deploy: the log,
// the parent's console. Returns the exit code when the run ends here (/?, a switch not
// understood), else -1.
int TakeCommandLine();
// The exit code for status: the deployment codes in a run started with switches.
int StubExitCode(const Status& status);
// The destination of the switches, else of the records, else the temporary folder, as a full
// path into gStub.chosenDestination; created when missing and made the current directory.
// False (said to the user) when it cannot be.
bool ChooseDestination();
// The silent run: extracts into the destination of the switches or the records, without any
// window; returns the exit code.
int RunSilently();
// The run from a temporary folder: extracts into a new one (silently or under the main dialog,
// which offers no destination), runs the run-after program there, waits, removes the folder;
// returns the program's exit code.
int RunFromTemporaryFolder();
// Removes the temporary folder of the run, if one exists (EndStub calls it on every way out).
void RemoveTemporaryFolder();
// The post-extraction actions of a run that asks nothing: groups and extensions as the records
// say, then the run-after program, waited for. Returns the exit code of the whole run.
int FinishUnattended();

// The main dialog: the open-file common dialog with template 1000 and the hook procedure.
// initialDirectory is where its directory list starts.
void ShowMainDialog(char* initialDirectory);

// A string resource in a buffer of its own (LoadResourceText), freed on every way out.
class ResourceText {
 public:
  explicit ResourceText(int id);
  ~ResourceText();
  ResourceText(const ResourceText&) = delete;
  ResourceText& operator=(const ResourceText&) = delete;
  const char* get() const { return text_ ? text_ : ""; }

 private:
  char* text_;
};

// The small dialogs. Each returns the id of the button that closed it.
// Dialog 104 showing text, a heap copy (new[]) that the viewer frees; captioned like the main
// dialog.
int ShowCommentViewer(HWND owner, char* text);
// Dialog 104 with a caption of its own, showing the first text, a line break, the second text.
struct TitledText {
  const char* caption;
  const char* first;
  const char* second;
};
int ShowTitledText(HWND owner, const TitledText* record);
// Dialog 100, the About box.
int ShowAbout(HWND owner);
// A verified authenticity record: strings 532 (code and name) in a message box, or 531 (the
// code) as the caption of the text viewer showing the name and the additional text, selected.
void ShowAuthenticity(HWND owner, const AuthenticityNotice& notice);
