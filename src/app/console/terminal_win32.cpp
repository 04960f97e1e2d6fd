// The Windows console: UTF-8 out through the console's UTF-8 code page, a password read with
// echo switched off.
#include <windows.h>
#include <io.h>

#include <cstring>
#include <string>

#include "app/console/terminal.h"
#include "fs/codepage.h"

void TerminalInit() { SetConsoleOutputCP(CP_UTF8); }

// The "A" entry hands the arguments over in the ANSI code page already.
std::string TerminalArgument(const char* argument) { return argument; }

void TerminalWrite(std::FILE* out, const char* ansiText) {
  std::string text = AnsiToUtf8(ansiText);
  std::fwrite(text.data(), 1, text.size(), out);
  std::fflush(out);
}

bool TerminalCanAsk() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

bool TerminalReadLine(char* buffer, int size, bool echo) {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD saved = 0;
  bool restore = !echo && GetConsoleMode(input, &saved) &&
                 SetConsoleMode(input, saved & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  std::string line;
  int c;
  bool any = false;
  while ((c = std::fgetc(stdin)) != EOF) {
    any = true;
    if (c == '\n') break;
    if (c != '\r') line.push_back(static_cast<char>(c));
  }
  if (restore) {
    SetConsoleMode(input, saved);
    std::fputc('\n', stderr);
  }
  // The console delivers typed text in its input code page, taken here as ANSI.
  std::snprintf(buffer, static_cast<size_t>(size), "%s", line.c_str());
  return any;
}
