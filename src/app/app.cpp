// The archive state's lifecycle and the process-exit cleanup.
#include "app/app.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "options/run_options.h"
#include "report/report.h"
#include "report/user_callbacks.h"
#include "zip/archive_state.h"

ArchiveState* gArchiveState = nullptr;
char gModulePath[kPathSize] = {};
int gInPass = 0;
int gStayOpen = 0;
int gTestDisplay = 0;
int gPostActionsAllowed = 1;
UserCallbacks* gCallbacks = nullptr;
void (*gPlatformCleanup)() = nullptr;

ArchiveState* EnsureArchiveState() {
  static bool registered = false;
  if (!registered) {
    std::atexit(ExitCleanup);
    registered = true;
  }
  if (!gArchiveState) {
    gArchiveState = new (std::nothrow) ArchiveState();
    if (!gArchiveState) ReportFatal(100, nullptr);
  }
  return gArchiveState;
}

int OpenOwnArchive(const char* archiveName) {
  ArchiveState* archive = EnsureArchiveState();
  if (archiveName) {
    archive->setArchiveName(archiveName);
  } else {
    moduleFileName(gModulePath, kPathSize);
    archive->setArchiveName(gModulePath);
  }
  if (!archive->openArchive()) return 0;
  archive->readDirectory();
  return 1;
}

void ReleaseArchiveState() {
  if (!gArchiveState || gStayOpen) return;
  ZeroOptions(&gRunOptions);
  delete gCallbacks;
  gCallbacks = nullptr;
  ArchiveState* archive = gArchiveState;
  gArchiveState = nullptr;
  delete archive;  // closes the stream, frees the name lists and the directory
}

void ExitCleanup() {
  if (gPlatformCleanup) gPlatformCleanup();
  delete gCallbacks;
  gCallbacks = nullptr;
  ArchiveState* archive = gArchiveState;
  gArchiveState = nullptr;
  delete archive;
}

void ResolveInitialDirectory(char* path) {
  size_t cut = 0;  // where the path is cut when a prefix cannot be entered
  for (size_t i = 0; path[i]; ++i) {
    if (path[i] != '\\') continue;
    if (i == 0 || path[i - 1] == ':') continue;
    path[i] = 0;
    bool entered = setCurrentDir(path) == 0;
    path[i] = '\\';
    if (!entered) {
      path[cut] = 0;
      return;
    }
    cut = i;
  }
}
