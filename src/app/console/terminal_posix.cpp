// The POSIX terminal: UTF-8 both ways, termios for a password typed without echo.
#include <termios.h>
#include <unistd.h>

#include "app/console/terminal.h"
#include "fs/codepage.h"

namespace {
termios gSaved{};
}  // namespace

void TerminalInit() {}

std::string TerminalArgument(const char* argument) { return Utf8ToAnsi(argument); }

bool TerminalCanAsk() { return isatty(STDIN_FILENO) != 0; }

bool TerminalShowsOutput() { return isatty(STDOUT_FILENO) != 0; }

bool TerminalEchoOff() {
  if (tcgetattr(STDIN_FILENO, &gSaved) != 0) return false;
  termios quiet = gSaved;
  quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
  return tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
}

void TerminalEchoOn() { tcsetattr(STDIN_FILENO, TCSAFLUSH, &gSaved); }
