// Entry names: separators, bounded copies, and names stored in UTF-8.
#include <cstring>
#include <string>

#include "fs/codepage.h"

#include "zip/archive_state.h"

namespace {
#include "zip/codepage_tables.inc"

}  // namespace

void translateNameWithTables(char* destination, const char* source, uint32_t length, int mode) {
  const unsigned char* table = mode == kTranslateOemToAnsi ? kOemToAnsi
                               : mode == kTranslateAnsiToOem ? kAnsiToOem
                                                             : nullptr;
  for (uint32_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(source[i]);
    destination[i] = static_cast<char>(table ? table[c] : c);
  }
}

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
