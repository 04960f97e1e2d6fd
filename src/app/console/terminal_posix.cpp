// The POSIX terminal: UTF-8 both ways, termios for a password typed without echo.
#include <termios.h>
#include <unistd.h>

#include "app/console/terminal.h"
#include "fs/codepage.h"

void TerminalInit() {}

std::string TerminalArgument(const char* argument) { return Utf8ToAnsi(argument); }

bool TerminalCanAsk() { return isatty(STDIN_FILENO) != 0; }

bool TerminalShowsOutput() { return isatty(STDOUT_FILENO) != 0; }

bool TerminalWithoutEcho(const std::function<void()>& read) {
  termios saved{};
  if (tcgetattr(STDIN_FILENO, &saved) != 0) return false;
  termios quiet = saved;
  quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
  if (tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) != 0) return false;
  read();
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  return true;
}
