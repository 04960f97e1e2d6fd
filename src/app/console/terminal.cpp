// The portable half of the terminal: writing texts and reading answers.
#include "app/console/terminal.h"

#include <cstring>

void TerminalWrite(std::FILE* out, const char* text) {
  // A person at a terminal sees each piece as it comes ("Testing name" before a long entry);
  // output to a file or a pipe leaves in large blocks, not a write per line. Whatever goes to
  // another stream (warnings, questions) waits until standard output has caught up, so that the
  // two keep their order; the end of the program writes what is left.
  static const bool interactive = TerminalShowsOutput();
  const size_t length = std::strlen(text);
  if (out != stdout) std::fflush(stdout);
  TerminalPut(out, text, length);
  if (out != stdout || interactive) std::fflush(out);
}

bool TerminalReadLine(char* buffer, int size, bool echo) {
  std::fflush(stdout);  // the question, before its answer is awaited
  std::string line;
  bool any = false;
  auto read = [&] {
    int c;
    while ((c = std::fgetc(stdin)) != EOF) {
      any = true;
      if (c == '\n') break;
      if (c != '\r') line.push_back(static_cast<char>(c));
    }
  };
  if (!echo && TerminalWithoutEcho(read)) {
    std::fputc('\n', stderr);  // the Enter that was not echoed
  } else {
    read();
  }
  std::snprintf(buffer, static_cast<size_t>(size), "%s", TerminalArgument(line.c_str()).c_str());
  return any;
}
