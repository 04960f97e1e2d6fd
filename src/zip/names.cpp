// Entry names: separators, bounded copies, and names stored in UTF-8.
#include <cstring>
#include <string>

#include "fs/codepage.h"
#include "zip/archive_state.h"

uint32_t utf8NameToAnsi(char* name, uint32_t length) {
  // Never longer than the UTF-8 form: every character takes at least one byte there.
  std::string ansi = Utf8ToAnsi(std::string(name, length));
  std::memcpy(name, ansi.data(), ansi.size());
  return static_cast<uint32_t>(ansi.size());
}

char* toForwardSlashes(char* text) {
  for (char* p = text; *p; ++p) {
    if (*p == '\\') *p = '/';
  }
  return text;
}

char* copyEntryName(char* buffer, const char* name, uint32_t length) {
  uint32_t n = length < kPathSize - 1 ? length : kPathSize - 1;
  std::memcpy(buffer, name, n);
  buffer[n] = 0;
  return toForwardSlashes(buffer);
}
