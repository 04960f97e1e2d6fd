// The user's regional settings: the date separator from the registry, the date order and clock
// style from the user's default locale.
#include <windows.h>

#include "options/dates.h"

char ReadDateSeparator() {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\International", 0, KEY_ALL_ACCESS, &key) !=
      ERROR_SUCCESS) {
    return 0;
  }
  // A value longer than the buffer is a failure to read, not a separator.
  char value[5] = {};
  DWORD size = sizeof value;
  LONG status = RegQueryValueExA(key, "sDate", nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || size == 0) return 0;
  return value[0];
}

int ReadLocaleValue(unsigned type, char* value, int size) {
  return GetLocaleInfoA(LOCALE_USER_DEFAULT, type, value, size) == 0 ? 1 : 0;
}
