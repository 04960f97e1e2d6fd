// Start-up, the archive state's lifecycle, the pass that runs one command and the driver that
// walks the entries. Shared by the stub and vespa-console.
#pragma once

#include "fs/fs.h"

class ArchiveState;

// Process-wide state of the run driver.
extern ArchiveState* gArchiveState;  // null when no archive state exists
extern char gModulePath[kPathSize];
extern int gInPass;               // 1 while RunCommand executes from the dialog
extern int gStayOpen;             // 1 while a test run is in progress
extern int gTestDisplay;          // 1 while a test run is in progress
extern int gPostActionsAllowed;   // cleared when the user confirms Cancel during a run

// Runs first in the process-exit cleanup (the stub's icon); null when there is nothing to do.
extern void (*gPlatformCleanup)();

// The archive state, created on first use (the exit cleanup is registered then).
ArchiveState* EnsureArchiveState();
// 1 when the archive state exists and its directory has been read. archiveName null means the
// program's own file.
int OpenOwnArchive(const char* archiveName = nullptr);
void ReleaseArchiveState();
void ExitCleanup();
int RunCommand();
int RunEntries(ArchiveState* archive);
// Trims a path to the part that exists, in place; leaves the current directory there.
void ResolveInitialDirectory(char* path);
