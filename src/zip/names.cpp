// Entry names: separators, bounded copies, names stored in UTF-8 and in the DOS code page.
#include <cstring>

#include "fs/codepage.h"
#include "zip/archive_state.h"

namespace {
#include "zip/oem_code_points.inc"
}  // namespace

uint32_t dosNameToUtf8(const char* name, uint32_t length, char* out) {
  uint32_t n = 0;
  for (uint32_t i = 0; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    n += static_cast<uint32_t>(EncodeUtf8(c < 0x80 ? c : kOemCodePoints[c - 0x80], out + n));
  }
  return n;
}

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
