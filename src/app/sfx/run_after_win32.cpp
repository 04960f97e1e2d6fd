// The program of the run-after record, started once an extraction has completed. CreateProcess
// takes the program's file by name, so no command shell reads the command and a name is never
// looked for beside the archive (the downloads folder) or along the PATH.
#include <windows.h>

#include <cstring>

#include "app/sfx/sfx_win32.h"
#include "fs/format.h"
#include "report/string_ids.h"
#include "shell/run_after.h"

namespace {

bool IsFile(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
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
    if (!GetFullPathNameA(program, kPathSize, found, nullptr)) FormatText(found, kPathSize, "%s", program);
    return IsFile(found);
  }
  if (FindIn(destination, program, found)) return true;
  char folder[kPathSize + 1];
  char other[kPathSize];
  UINT length = GetSystemDirectoryA(folder, kPathSize);
  if (length == 0 || length >= kPathSize) return false;
  if (folder[length - 1] != '\\') folder[length++] = '\\', folder[length] = 0;
  if (!FindIn(folder, program, other)) return false;
  std::memcpy(found, other, sizeof other);
  return true;
}

void Tell(HWND owner, int id, const char* program) {
  ResourceText what(id);
  char text[kStringSize + kPathSize];
  FormatText(text, sizeof text, "%s%s", what.get(), program);
  MessageBoxUtf8(owner, text, Caption(owner).get(), MB_ICONWARNING);
}

}  // namespace

void RunProgramAfter(HWND owner, const char* command, const char* destination) {
  ProgramCommand split = SplitRunCommand(command, destination);
  char program[kPathSize];
  if (!FindProgram(split.program.c_str(), destination, program)) {
    Tell(owner, IDS_RUN_NOT_FOUND, program);
    return;
  }
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  // CreateProcessA may write into the command line it is given.
  Text commandLine = split.commandLine;
  if (!CreateProcessA(program, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      destination, &startup, &process)) {
    Tell(owner, IDS_RUN_FAILED, program);
    return;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}
