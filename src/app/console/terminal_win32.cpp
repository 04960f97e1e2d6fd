// The Windows console: UTF-8 out through the console's UTF-8 code page, a password read with
// echo switched off.
#include <windows.h>

#include "app/console/terminal.h"

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

bool TerminalWithoutEcho(const std::function<void()>& read) {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD saved = 0;
  if (!GetConsoleMode(input, &saved) ||
      !SetConsoleMode(input, saved & ~static_cast<DWORD>(ENABLE_ECHO_INPUT))) {
    return false;
  }
  read();
  SetConsoleMode(input, saved);
  return true;
}
