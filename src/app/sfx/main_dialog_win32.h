// What the main dialog's files share: its control helpers, its idle and run states, the run
// itself and the progress notifications it receives.
#pragma once

#include <windows.h>

#include <cstdint>

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

// Drains the message queue without waiting, so that the dialog stays responsive during a run.
void PumpMessages(HWND dialog);
// Makes the dialog the receiver of a new run's progress notifications, its counts at zero.
void BeginProgress(HWND dialog);
// Handles one progress notification (0x700 to 0x800).
BOOL OnProgress(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
