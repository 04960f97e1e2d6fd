// The user's regional settings where the platform keeps none of its own: the date separator
// falls back to '/' and the date order to month-day-year (through the caller's fallbacks).
#include "options/dates.h"

char ReadDateSeparator() { return 0; }

int ReadLocaleValue(unsigned type, char* value, int size) {
  if (size > 0) value[0] = 0;
  return 1;
}
