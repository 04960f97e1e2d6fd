// Entry-name translation between the OEM code page (437) and the ANSI code page (1252) through
// tables of our own, as the Windows character conversions would do it.
#include "zip/archive_state.h"

void translateNameWithTables(char* destination, const char* source, uint32_t length, int mode);

void translateName(char* destination, const char* source, uint32_t length, int mode) {
  translateNameWithTables(destination, source, length, mode);
}
