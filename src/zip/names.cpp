// Entry names: separators, bounded copies, and names stored in UTF-8.
#include <cstring>

#include "fs/codepage.h"
#include "zip/archive_state.h"

uint32_t utf8NameToAnsi(char* name, uint32_t length) {
  return static_cast<uint32_t>(Utf8ToAnsiInPlace(name, length));
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
