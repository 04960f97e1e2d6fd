// The Windows console: UTF-8 out through the console's UTF-8 code page, a password read with
// echo switched off.
#include <windows.h>

#include "app/console/terminal.h"

namespace {
DWORD gSavedMode = 0;
}  // namespace

void TerminalInit() { SetConsoleOutputCP(CP_UTF8); }

std::string TerminalArgument(const char* argument) { return argument; }

bool TerminalCanAsk() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

bool TerminalShowsOutput() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

bool TerminalEchoOff() {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  return GetConsoleMode(input, &gSavedMode) &&
         SetConsoleMode(input, gSavedMode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
}

void TerminalEchoOn() { SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), gSavedMode); }
