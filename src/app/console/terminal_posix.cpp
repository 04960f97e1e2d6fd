// The POSIX terminal: UTF-8 both ways, passed through as it is, termios for a password typed without echo.
#include <termios.h>
#include <unistd.h>

#include "app/console/terminal.h"

void TerminalInit() {}

std::string TerminalArgument(const char* argument) { return argument; }

std::vector<std::string> TerminalArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

void TerminalPut(std::FILE* out, const char* text, size_t length) { std::fwrite(text, 1, length, out); }

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
