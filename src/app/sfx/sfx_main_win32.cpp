// The stub's program entry: open the program's own file as the archive, show the main dialog,
// release everything when it ends. The command line is read only when the archive's builder
// allowed switches (the deployment record).
#include <cstring>
#include <memory>
#include <new>

#include "app/sfx/sfx_win32.h"
#include "fs/format.h"
#include "fs/fs.h"
#include "resources/resource_ids.h"
#include "shell/deploy_record.h"
#include "shell/deployment.h"

namespace {

// Where the main dialog's directory list starts: the directives' default destination (a
// relative one taken from the temporary directory), trimmed to the part that exists; else the
// temporary directory.
void SetUpInitialDirectory(char* destination) {
  destination[0] = 0;
  if (const char* directive = gStub.directives.defaultDestination()) {
    std::strncpy(destination, directive, kPathSize - 1);
    destination[kPathSize - 1] = 0;
    if (destination[1] != ':') {
      char temp[kPathSize + 2] = {};
      tempDirectory(temp, sizeof temp);
      setCurrentDir(temp);
    }
    ResolveInitialDirectory(destination);
  }
  if (!destination[0]) tempDirectory(destination, kPathSize);
}

// A self-extracting archive runs from wherever it was downloaded, beside whatever else was
// downloaded there: libraries loaded after start-up (by the common dialog, the shell, the DDE
// library) come from the system directory only, never from the program's own folder or the
// current directory. Windows Vista and 7 have the call only once their loader was updated; it
// is looked up so that the program still starts on them without the update.
void RestrictLibrarySearch() {
  constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
  using SetDirectories = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  FARPROC found = kernel ? GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr;
  if (found) reinterpret_cast<SetDirectories>(reinterpret_cast<void*>(found))(kSearchSystem32);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  (void)commandLine, (void)show;
  if (previous) return 0;
  RestrictLibrarySearch();

  gStub.instance = instance;
  gStub.icon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_PROGRAM));

  char modulePath[kPathSize] = {};
  moduleFileName(modulePath, kPathSize);
  DeployState& deploy = gStub.deploy;
  deploy.flags = ReadDeployFlags(modulePath);
  if (deploy.flags & kDeploySwitches) {
    int code = TakeCommandLine();
    if (code >= 0) return code;
  }
  const Switches& switches = deploy.switches;
  Status status = ReadSetupDirectives(gStub.directives, modulePath, StubReporter());
  if (!status.ok()) EndStub(status);
  ReadRunAfter(modulePath, &gStub.runAfter);

  if (switches.unattended()) deploy.asked = new (std::nothrow) UnattendedCallbacks;
  std::unique_ptr<UserCallbacks> callbacks(switches.unattended() ? deploy.asked : CreateWin32Callbacks());
  if (!callbacks) EndStub(Status::Fatal(kFatalNoMemory));
  std::unique_ptr<Session> session(new (std::nothrow) Session(StubFrontEnd(), callbacks.get()));
  if (!session) EndStub(Status::Fatal(kFatalNoMemory));
  gStub.session = session.get();

  status = session->open(modulePath);
  if (!status.ok()) EndStub(status);
  // An archive without paths never recreates directories.
  if (!ArchiveHasDirectories(&session->archive)) {
    gStub.directives.clearFlags(kDirectiveRecreateDirectories);
  }
  SplitAtBars(gStub.directives);
  int code = 0;
  if ((deploy.flags & kDeployTemporaryFolder) && gStub.runAfter.present()) {
    code = RunFromTemporaryFolder();
  } else if (switches.windowless()) {
    code = RunSilently();
  } else if (switches.progress) {
    if (ChooseDestination()) {
      deploy.autoRun = true;
      char initialDirectory[kPathSize];
      std::memcpy(initialDirectory, gStub.chosenDestination, kPathSize);
      ShowMainDialog(initialDirectory);
    }
    code = deploy.outcome == DeployState::Outcome::kExtracted ? FinishUnattended()
           : deploy.outcome == DeployState::Outcome::kCancelled ? kDeployExitCancelled
                                                                 : kDeployExitFailed;
  } else {
    char initialDirectory[kPathSize];
    SetUpInitialDirectory(initialDirectory);
    if (!switches.destination.empty()) {
      FormatText(initialDirectory, kPathSize, "%s", switches.destination.c_str());
      ResolveInitialDirectory(initialDirectory);
    }
    ShowMainDialog(initialDirectory);
    // A dialog run with switches says how it ended as the unattended ones do.
    if (switches.any) {
      code = deploy.outcome != DeployState::Outcome::kExtracted ? kDeployExitCancelled
             : gStub.session->reporter.warned()                  ? kDeployExitFailed
                                                                 : kDeployExitSuccess;
    }
  }

  EndDdeConversation(gStub.dde);
  gStub.session = nullptr;
  session.reset();
  callbacks.reset();
  if (gStub.icon) DestroyIcon(gStub.icon);
  gStub.icon = nullptr;
  return code;
}
