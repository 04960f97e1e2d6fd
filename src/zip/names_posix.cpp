// Entry-name translation between the OEM code page (437) and the ANSI code page (1252) through
// tables of our own, as the Windows character conversions would do it.
#include "zip/archive_state.h"

namespace {
#include "zip/codepage_tables.inc"
}  // namespace

void translateName(char* destination, const char* source, uint32_t length, int mode) {
  const unsigned char* table = mode == kTranslateOemToAnsi ? kOemToAnsi
                               : mode == kTranslateAnsiToOem ? kAnsiToOem
                                                             : nullptr;
  for (uint32_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(source[i]);
    destination[i] = static_cast<char>(table ? table[c] : c);
  }
}

uint32_t oemNameToUtf8(const char* name, uint32_t length, char* out) {
  return dosNameToUtf8(name, length, out);
}
