// Entry-name translation through the system's own OEM and ANSI code pages.
#include <windows.h>

#include <cstring>

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
