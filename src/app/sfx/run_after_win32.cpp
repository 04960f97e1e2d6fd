// The program of the run-after record, started once an extraction has completed. CreateProcess
// takes the program's file by name, so no command shell reads the command and a name is never
// looked for beside the archive (the downloads folder) or along the PATH.
#include <windows.h>

#include <cstring>
#include <memory>

#include "app/sfx/sfx_win32.h"
#include "fs/format.h"
#include "fs/fs.h"
#include "fs/wide_win32.h"
#include "report/string_ids.h"
#include "shell/run_after.h"

namespace {

bool IsFile(const char* path) {
  uint32_t attributes = 0;
  return getAttributes(path, &attributes) == 0 && !(attributes & kAttrDirectory);
}

// folder (ending with '\\') + name into found; whether it names a file.
bool FindIn(const char* folder, const char* name, char* found) {
  FormatText(found, kPathSize, "%s%s", folder, name);
  return IsFile(found);
}

// A name with a folder is taken from the destination (the current directory) as written; a
// bare name from the destination, else from the system folder. On failure, found holds the
// name looked for first.
bool FindProgram(const char* program, const char* destination, char* found) {
  if (HasPath(program)) {
    PathBuffer full;
    fullPathOf(full, program);
    FormatText(found, kPathSize, "%s", std::strlen(full) < kPathSize ? full.get() : program);
    return IsFile(found);
  }
  if (FindIn(destination, program, found)) return true;
  char folder[kPathSize + 1];
  char other[kPathSize];
  wchar_t system[MAX_PATH];
  UINT units = GetSystemDirectoryW(system, MAX_PATH);
  if (units == 0 || units >= MAX_PATH) return false;
  int length = WideCharToMultiByte(CP_UTF8, 0, system, static_cast<int>(units), folder, kPathSize - 1,
                                   nullptr, nullptr);
  if (length <= 0) return false;
  folder[length] = 0;
  if (folder[length - 1] != '\\') folder[length++] = '\\', folder[length] = 0;
  if (!FindIn(folder, program, other)) return false;
  std::memcpy(found, other, sizeof other);
  return true;
}

void Tell(HWND owner, int id, const char* program) {
  ResourceText what(id);
  char text[kStringSize + kPathSize];
  FormatText(text, sizeof text, "%s%s", what.get(), program);
  // Through the front end: a silent run writes it in its log instead.
  StubFrontEnd().showMessage(owner, text, Caption(owner).get());
}

// The started program's process, or null (said to the user).
HANDLE StartProgram(HWND owner, const char* command, const char* destination) {
  ProgramCommand split = SplitRunCommand(command, destination);
  char program[kPathSize];
  if (!FindProgram(split.program.c_str(), destination, program)) {
    Tell(owner, IDS_RUN_NOT_FOUND, program);
    return nullptr;
  }
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  // CreateProcessW may write into the command line it is given: a copy of our own.
  std::unique_ptr<wchar_t[]> commandLine = WideText(split.commandLine.c_str());
  if (!CreateProcessW(WideText(program).get(), commandLine.get(), nullptr, nullptr, FALSE, 0, nullptr,
                      WideText(destination).get(), &startup, &process)) {
    Tell(owner, IDS_RUN_FAILED, program);
    return nullptr;
  }
  if (gStub.deploy.log) gStub.deploy.log->line(ResourceText(IDS_RUN_STARTED).get(), split.commandLine.c_str());
  CloseHandle(process.hThread);
  return process.hProcess;
}

}  // namespace

void RunProgramAfter(HWND owner, const char* command, const char* destination) {
  if (HANDLE process = StartProgram(owner, command, destination)) CloseHandle(process);
}

bool RunProgramAndWait(HWND owner, const char* command, const char* destination, DWORD* exitCode) {
  HANDLE process = StartProgram(owner, command, destination);
  if (!process) return false;
  WaitForSingleObject(process, INFINITE);
  if (!GetExitCodeProcess(process, exitCode)) *exitCode = static_cast<DWORD>(kDeployExitFailed);
  CloseHandle(process);
  return true;
}
