// The stub's program entry: open the program's own file as the archive, show the main dialog,
// release everything when it ends. The command line is never read.
#include <cstring>

#include "app/app.h"
#include "app/sfx/directive_defaults.h"
#include "app/sfx/sfx_win32.h"
#include "fs/fs.h"
#include "report/report.h"
#include "resources/resource_ids.h"

// The platform's share of ExitCleanup (app.cpp).

namespace {

char gDestination[kPathSize];  // the module path at start, then the main dialog's initial directory

void ReleaseProgramIcon() {
  if (gProgramIcon) DestroyIcon(gProgramIcon);
  gProgramIcon = nullptr;
}

// Where the main dialog's directory list starts: the directives' default destination (a
// relative one taken from the temporary directory), trimmed to the part that exists; else the
// temporary directory.
void SetUpInitialDirectory() {
  gDestination[0] = 0;
  if (const char* destination = DefaultDestination()) {
    std::strncpy(gDestination, destination, kPathSize - 1);
    gDestination[kPathSize - 1] = 0;
    if (gDestination[1] != ':') {
      char temp[kPathSize + 2] = {};
      GetTempPathA(sizeof temp, temp);
      SetCurrentDirectoryA(temp);
    }
    ResolveInitialDirectory(gDestination);
  }
  if (!gDestination[0]) GetTempPathA(kPathSize, gDestination);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  (void)commandLine, (void)show;
  if (previous) return 0;

  gInstance = instance;
  gProgramIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_PROGRAM));
  gPlatformCleanup = ReleaseProgramIcon;
  InstallWin32FrontEnd();

  moduleFileName(gDestination, kPathSize);
  setNameType(0);  // directory searches report long names
  LoadSetupDirectives(gDestination);

  gCallbacks = CreateWin32Callbacks();
  if (!gCallbacks) ReportFatal(100, nullptr);

  if (OpenOwnArchive()) {
    // An archive without paths never recreates directories.
    if (!ArchiveHasDirectories()) gDirectiveFlags &= static_cast<uint16_t>(~kDirectiveRecreateDirectories);
    SplitDirectiveLists();
    SetUpInitialDirectory();
    ShowMainDialog(gDestination);
    ReleaseArchiveState();
  }

  delete gCallbacks;
  gCallbacks = nullptr;
  return 0;
}
