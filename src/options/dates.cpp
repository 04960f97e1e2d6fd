// Dates shown in the overwrite question and typed in the AFTER and BEFORE options.
#include "options/dates.h"

#include <ctime>

#include "fs/format.h"


namespace {

// Two-digit years: 80 to 99 are 1980 to 1999, 00 to 79 are 2000 to 2079.
int FullYear(int shortYear) { return shortYear < 80 ? shortYear + 2000 : shortYear + 1900; }

// The year field keeps seven bits: the product is taken modulo 2^32.
uint32_t Pack(int year, int month, int day) {
  uint32_t date = static_cast<uint32_t>(year - 1980) * 512u + static_cast<uint32_t>(month) * 32u +
                  static_cast<uint32_t>(day);
  return date << 16;
}

int TwoDigits(const char* s) { return (s[0] - '0') * 10 + (s[1] - '0'); }

}  // namespace

char* FormatDate(uint32_t packed, int order, char* buffer) {
  char separator = ReadDateSeparator();
  return FormatDateWith(packed, order, separator ? separator : '/', buffer);
}

char* FormatDateWith(uint32_t packed, int order, char separator, char* buffer) {
  int month = static_cast<int>((packed >> 21) & 0x0F);
  int day = static_cast<int>((packed >> 16) & 0x1F);
  int shortYear = static_cast<int>(((packed >> 25) + 80) % 100);
  if (month < 1 || month > 12) month = 1;
  if (day < 1) day = 1;
  int year = FullYear(shortYear);
  switch (order) {
    case kOrderDayMonthYear:
      FormatText(buffer, kDateTextSize, "%02d%c%02d%c%04d", day, separator, month, separator,
                 year);
      break;
    case kOrderYearMonthDay:
      FormatText(buffer, kDateTextSize, "%04d%c%02d%c%02d", year, separator, month, separator,
                 day);
      break;
    default:
      FormatText(buffer, kDateTextSize, "%02d%c%02d%c%04d", month, separator, day, separator,
                 year);
      break;
  }
  return buffer;
}

int ParseDate(const char* text, int order, uint32_t* packed) {
  const char* s = text + 1;
  int length = 0;
  while (s[length]) {
    if (s[length] < '0' || s[length] > '9') return 5;
    ++length;
  }
  if (length != 6 && length != 8) return 5;
  const bool withCentury = length == 8;

  int day, month, shortYear, century = 19;
  switch (order) {
    case kOrderDayMonthYear:
      day = TwoDigits(s);
      month = TwoDigits(s + 2);
      if (withCentury) century = TwoDigits(s + 4);
      shortYear = TwoDigits(s + (withCentury ? 6 : 4));
      break;
    case kOrderYearMonthDay: {
      const char* y = s;
      if (withCentury) {
        century = TwoDigits(s);
        y = s + 2;
      }
      shortYear = TwoDigits(y);
      month = TwoDigits(y + 2);
      day = TwoDigits(y + 4);
      break;
    }
    default:
      month = TwoDigits(s);
      day = TwoDigits(s + 2);
      if (withCentury) century = TwoDigits(s + 4);
      shortYear = TwoDigits(s + (withCentury ? 6 : 4));
      break;
  }
  // The century digits are only checked: the two-digit year alone decides the year.
  if (century < 19) return 5;
  if (month < 1 || month > 12 || day < 1 || day > 31) return 5;
  *packed = Pack(FullYear(shortYear), month, day);
  return 0;
}

uint32_t TodayPacked() {
  std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  if (!local) return 0;
  uint32_t yearField = static_cast<uint32_t>(local->tm_year + 1900 - 1980) & 0x7F;
  uint32_t date = yearField * 512u + static_cast<uint32_t>(local->tm_mon + 1) * 32u +
                  static_cast<uint32_t>(local->tm_mday);
  return date << 16;
}

int ReadLocaleOrder(int* order) {
  char value[5];
  if (ReadLocaleValue(kLocaleDateOrder, value, sizeof value) != 0) return 1;
  *order = value[0] == '0'   ? kOrderMonthDayYear
                : value[0] == '1' ? kOrderDayMonthYear
                                   : kOrderYearMonthDay;
  // The clock style is asked as well; only whether the answer came matters.
  if (ReadLocaleValue(kLocaleClockStyle, value, sizeof value) != 0) return 1;
  return 0;
}
