// Entry-name translation through the system's own OEM and ANSI code pages, and from the OEM one
// into UTF-8.
#include <windows.h>

#include <cstring>
#include <memory>
#include <new>

#include "zip/archive_state.h"

void translateName(char* destination, const char* source, uint32_t length, int mode) {
  if (mode == kTranslateAnsiToOem) {
    CharToOemBuffA(source, destination, length);
  } else if (mode == kTranslateOemToAnsi) {
    OemToCharBuffA(source, destination, length);
  } else if (destination != source) {
    std::memmove(destination, source, length);
  }
}

uint32_t oemNameToUtf8(const char* name, uint32_t length, char* out) {
  // One UTF-16 unit per byte at most, and at most three UTF-8 bytes per unit (a pair of units,
  // four bytes, comes from two bytes or more).
  if (length > 0 && length <= 0xFFFFu) {
    std::unique_ptr<wchar_t[]> wide(new (std::nothrow) wchar_t[length]);
    const int units = wide ? MultiByteToWideChar(CP_OEMCP, MB_ERR_INVALID_CHARS, name,
                                                 static_cast<int>(length), wide.get(),
                                                 static_cast<int>(length))
                           : 0;
    if (units > 0) {
      const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.get(), units, out,
                                            static_cast<int>(3 * length), nullptr, nullptr);
      if (bytes > 0) return static_cast<uint32_t>(bytes);
    }
  }
  // A name that is not well-formed in the system's code page (a double-byte one) is read byte
  // by byte, so that it still differs from every other.
  return dosNameToUtf8(name, length, out);
}
