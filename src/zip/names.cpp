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

bool copyEntryName(char* buffer, size_t size, const char* name, uint32_t length) {
  if (size == 0) return false;
  size_t n = length < size - 1 ? length : size - 1;
  std::memcpy(buffer, name, n);
  buffer[n] = 0;
  toForwardSlashes(buffer);
  return n == length;
}
