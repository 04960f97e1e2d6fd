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

// folder + name into found; whether it names a file.
bool FindIn(const char* folder, const char* name, char* found) {
  size_t used = std::strlen(folder);
  FormatText(found, kPathSize, used && folder[used - 1] == '\\' ? "%s%s" : "%s\\%s", folder, name);
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
  char folder[kPathSize];
  char other[kPathSize];
  if (GetSystemDirectoryA(folder, kPathSize) && FindIn(folder, program, other)) {
    std::memcpy(found, other, sizeof other);
    return true;
  }
  return false;
}

void Tell(HWND owner, int id, const char* program) {
  ResourceText what(id);
  char text[kStringSize + kPathSize];
  FormatText(text, sizeof text, "%s%s", what.get(), program);
  MessageBoxA(owner, text, Caption(owner).get(), MB_ICONWARNING);
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
