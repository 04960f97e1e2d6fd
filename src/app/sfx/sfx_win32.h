// What the stub's Win32 files share: the instance and icon, the front end, the callbacks and
// the dialogs.
#pragma once

#include <windows.h>

#include "report/user_callbacks.h"

extern HINSTANCE gInstance;  // for resources and dialogs
extern HICON gProgramIcon;   // icon 3

// Message boxes, window texts and the string table of the program's own resources.
void InstallWin32FrontEnd();

// The questions of the engine and the archive reader, put through dialogs 105 and 106 and
// message boxes owned by the callbacks' owner window. Null when out of memory.
UserCallbacks* CreateWin32Callbacks();

// The main dialog: the open-file common dialog with template 1000 and the hook procedure.
// initialDirectory is where its directory list starts.
void ShowMainDialog(char* initialDirectory);
