// The POSIX terminal: UTF-8 out, termios for a password typed without echo.
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "app/console/terminal.h"
#include "fs/codepage.h"

void TerminalInit() {}

std::string TerminalArgument(const char* argument) { return Utf8ToAnsi(argument); }

void TerminalWrite(std::FILE* out, const char* ansiText) {
  std::string text = AnsiToUtf8(ansiText);
  std::fwrite(text.data(), 1, text.size(), out);
  std::fflush(out);
}

bool TerminalCanAsk() { return isatty(STDIN_FILENO) != 0; }

bool TerminalReadLine(char* buffer, int size, bool echo) {
  termios saved{};
  bool restore = false;
  if (!echo && tcgetattr(STDIN_FILENO, &saved) == 0) {
    termios quiet = saved;
    quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
    restore = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
  }
  std::string line;
  int c;
  bool any = false;
  while ((c = std::fgetc(stdin)) != EOF) {
    any = true;
    if (c == '\n') break;
    if (c != '\r') line.push_back(static_cast<char>(c));
  }
  if (restore) {
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::fputc('\n', stderr);
  }
  std::string ansi = Utf8ToAnsi(line);
  std::snprintf(buffer, static_cast<size_t>(size), "%s", ansi.c_str());
  return any;
}
