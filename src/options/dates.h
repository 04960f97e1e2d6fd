// Dates as the user reads and types them: the packed DOS date-time (date in the high 16 bits)
// shown and parsed in a date order (the LocaleDate of the run settings), with the user's date
// separator.
#pragma once

#include <cstdint>

#include "options/run_options.h"

// Room FormatDate needs: ten characters and the NUL.
constexpr int kDateTextSize = 11;

// The date half of packed as text in order and the user's separator; returns buffer.
char* FormatDate(uint32_t packed, int order, char* buffer);
// As FormatDate, with the separator given.
char* FormatDateWith(uint32_t packed, int order, char separator, char* buffer);
// text: an option's value starting at its '='. Returns 0 with *packed (time 0), or 5 when the
// text is not a date of six or eight digits in the order.
int ParseDate(const char* text, int order, uint32_t* packed);
// Today's local date with time 0.
uint32_t TodayPacked();
// The date order of the user's locale into *order; 0 on success, 1 when it cannot be read.
int ReadLocaleOrder(int* order);

// --- platform reads of the user's regional settings (locale_win32.cpp, locale_posix.cpp) ---
constexpr unsigned kLocaleDateOrder = 0x21;  // LOCALE_IDATE
constexpr unsigned kLocaleClockStyle = 0x23;  // LOCALE_ITIME
// The first character of the user's date separator setting; 0 when it cannot be read.
char ReadDateSeparator();
// One locale value of the user's default locale into value (size chars); 0 on success, 1 on
// failure.
int ReadLocaleValue(unsigned type, char* value, int size);
