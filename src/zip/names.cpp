// Entry names: separators, bounded copies, and names stored in UTF-8.
#include <cstring>

#include "zip/archive_state.h"

namespace {
#include "zip/codepage_tables.inc"

// The ANSI byte for a code point, or '_' when code page 1252 has no such character.
char AnsiFor(uint32_t codePoint) {
  if (codePoint < 0x80) return static_cast<char>(codePoint);
  if (codePoint >= 0xA0 && codePoint <= 0xFF) return static_cast<char>(codePoint);
  for (int i = 0; i < 0x20; ++i) {
    if (kAnsiHighToUnicode[i] == codePoint && codePoint != 0) return static_cast<char>(0x80 + i);
  }
  return '_';
}
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
  const unsigned char* in = reinterpret_cast<const unsigned char*>(name);
  uint32_t read = 0, written = 0;
  while (read < length) {
    unsigned char lead = in[read];
    uint32_t codePoint = 0;
    uint32_t extra = 0;
    if (lead < 0x80) {
      codePoint = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      codePoint = lead & 0x1F, extra = 1;
    } else if ((lead & 0xF0) == 0xE0) {
      codePoint = lead & 0x0F, extra = 2;
    } else if ((lead & 0xF8) == 0xF0) {
      codePoint = lead & 0x07, extra = 3;
    } else {
      codePoint = 0xFFFD;  // a stray continuation byte or an invalid lead
    }
    ++read;
    for (uint32_t k = 0; k < extra; ++k) {
      if (read >= length || (in[read] & 0xC0) != 0x80) {
        codePoint = 0xFFFD;  // truncated sequence: the bytes read so far become one '_'
        break;
      }
      codePoint = (codePoint << 6) | (in[read++] & 0x3F);
    }
    name[written++] = AnsiFor(codePoint);
  }
  return written;
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
