// What the main dialog's files share: its control helpers, its idle and run states, the run
// itself and the progress notifications it receives.
#pragma once

#include <windows.h>

#include <cstdint>

#include "app/session.h"
#include "fs/fs.h"

inline void Enable(HWND dialog, int id, bool enabled) { EnableWindow(GetDlgItem(dialog, id), enabled); }
inline void Show(HWND dialog, int id, bool shown) {
  ShowWindow(GetDlgItem(dialog, id), shown ? SW_SHOW : SW_HIDE);
}

uint16_t ArchiveCommentLength();

// Idle: options and destination editable, figures disabled. Run: the other way round.
void SetRunControls(HWND dialog, bool idle);
// Idle: the idle line. Run: the action, item and marker lines.
void ShowIdleLine(HWND dialog, bool idle);
// Reads the check boxes and radio buttons back into the directive flags.
void ReadDialogOptions(HWND dialog);

// One test or extraction, from the choices to the final message; an extraction ends the dialog.
void StartRun(HWND dialog, bool test);

// Every text the dialog draws in its controls goes through here.
void SetControlText(HWND dialog, int id, const char* text);

// Runs the request on a thread of its own while this thread keeps the dialog drawn and
// responsive and makes the run's calls (CallOnDialogThread); returns the run's status once it
// has ended and its last state is drawn.
Status RunOffDialogThread(HWND dialog, Session& session, const RunRequest& request);
// The user confirmed the end of the program during a run: returns once the run's thread waits
// at a report or a question, or has ended, so that the program may end under it.
void StopRunForExit();

// Drains the message queue without waiting, so that the dialog stays responsive during a run.
void PumpMessages(HWND dialog);
// Makes the dialog the receiver of a new run's progress, its counts at zero.
void BeginProgress(HWND dialog);
// Draws what the run reported last, when it changed since the last drawing.
void ShowProgress(HWND dialog);
// The run's reports (ReportFrontEnd::onTesting...), kept for ShowProgress. A warning is shown
// in a message box as well when the dialog's option says so.
void ReportTesting();
void ReportAction(const char* label);
void ReportItem(const char* name);
void ReportTested();
void ReportExtracted(uint64_t bytes);
void ReportWriting(uint64_t bytes);
void ReportSkipping(const char* name);
void ReportAuthentic();
void ReportWarning(const char* text);
