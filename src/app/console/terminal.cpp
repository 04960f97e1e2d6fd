// The portable half of the terminal: writing texts and reading answers.
#include "app/console/terminal.h"

#include "fs/codepage.h"

void TerminalWrite(std::FILE* out, const char* ansiText) {
  std::string text = AnsiToUtf8(ansiText);
  std::fwrite(text.data(), 1, text.size(), out);
  std::fflush(out);
}

bool TerminalReadLine(char* buffer, int size, bool echo) {
  bool restore = !echo && TerminalEchoOff();
  std::string line;
  int c;
  bool any = false;
  while ((c = std::fgetc(stdin)) != EOF) {
    any = true;
    if (c == '\n') break;
    if (c != '\r') line.push_back(static_cast<char>(c));
  }
  if (restore) {
    TerminalEchoOn();
    std::fputc('\n', stderr);  // the Enter that was not echoed
  }
  std::snprintf(buffer, static_cast<size_t>(size), "%s", TerminalArgument(line.c_str()).c_str());
  return any;
}
