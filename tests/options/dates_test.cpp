// Dates shown and typed: the packed date in the three orders, the separator, the two-digit years.
#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "options/dates.h"
#include "options/run_options.h"

namespace {

uint32_t Packed(int year, int month, int day) {
  return static_cast<uint32_t>(((year - 1980) << 9) | (month << 5) | day) << 16;
}

TEST(Dates, FormatInEachOrder) {
  struct Case {
    uint32_t packed;
    int order;
    char separator;
    const char* text;
  } cases[] = {
      {0, 2, '/', "01/01/1980"},  // month and day 0 are shown as 01
      {Packed(1999, 12, 31), 3, '.', "31.12.1999"},
      {Packed(1999, 12, 31), 4, '-', "1999-12-31"},
      {Packed(1999, 12, 31), 2, '/', "12/31/1999"},
      {Packed(1999, 12, 31), 0, '/', "12/31/1999"},  // unknown orders read month-day-year
      {Packed(1999, 12, 31) | 0xBFFFu, 2, '/', "12/31/1999"},  // the time half is ignored
      {Packed(2001, 2, 3), 3, '/', "03/02/2001"},
      {Packed(2079, 6, 7), 2, '/', "06/07/2079"},
      {Packed(2080, 6, 7), 2, '/', "06/07/1980"},  // 1980 to 2079 only
      {Packed(2085, 1, 1), 4, '/', "1985/01/01"},
      {(127u << 25) | (15u << 21) | (9u << 16), 2, '/', "01/09/2007"},  // month 15 shown as 01
  };
  for (const Case& c : cases) {
    char buffer[kDateTextSize];
    EXPECT_STREQ(FormatDateWith(c.packed, c.order, c.separator, buffer), c.text) << c.text;
  }
}

TEST(Dates, SeparatorFallsBackToSlash) {
  char buffer[kDateTextSize];
  EXPECT_EQ(FormatDate(Packed(2001, 2, 3), kOrderMonthDayYear, buffer), buffer);
  EXPECT_STREQ(buffer, "02/03/2001");
  EXPECT_STREQ(FormatDate(Packed(2001, 2, 3), kOrderYearMonthDay, buffer), "2001/02/03");
}

TEST(Dates, ParseInEachOrder) {
  struct Case {
    int order;
    const char* text;
    int result;
    uint32_t packed;
  } cases[] = {
      {2, "=123199", 0, Packed(1999, 12, 31)},
      {2, "=12311999", 0, Packed(1999, 12, 31)},
      {2, "=12311899", 5, 0},  // century 18
      {2, "=023099", 0, Packed(1999, 2, 30)},  // the month's length is not checked
      {2, "=1231999", 5, 0},
      {2, "=12-31-99", 5, 0},
      {2, "=", 5, 0},
      {2, "=123199 ", 5, 0},
      {2, "=1231199", 5, 0},
      {2, "=003199", 5, 0},
      {2, "=133199", 5, 0},
      {2, "=120099", 5, 0},
      {2, "=123299", 5, 0},
      {2, "=010200", 0, Packed(2000, 1, 2)},
      {2, "=010279", 0, Packed(2079, 1, 2)},
      {2, "=010280", 0, Packed(1980, 1, 2)},
      {2, "=12311901", 0, Packed(2001, 12, 31)},  // century digits are checked, not used
      {2, "=12312001", 0, Packed(2001, 12, 31)},
      {2, "=12312101", 0, Packed(2001, 12, 31)},
      {7, "=123199", 0, Packed(1999, 12, 31)},
      {3, "=311299", 0, Packed(1999, 12, 31)},
      {3, "=31121999", 0, Packed(1999, 12, 31)},
      {3, "=31121899", 5, 0},
      {3, "=123199", 5, 0},  // month 31
      {3, "=02011901", 0, Packed(2001, 1, 2)},
      {4, "=991231", 0, Packed(1999, 12, 31)},
      {4, "=011231", 0, Packed(2001, 12, 31)},
      {4, "=19991231", 0, Packed(1999, 12, 31)},
      {4, "=20011231", 0, Packed(2001, 12, 31)},
      {4, "=19011231", 0, Packed(2001, 12, 31)},
      {4, "=18991231", 5, 0},
      {4, "=991331", 5, 0},
      {4, "=123199", 5, 0},
  };
  for (const Case& c : cases) {
    uint32_t packed = 0xDEADBEEF;
    EXPECT_EQ(ParseDate(c.text, c.order, &packed), c.result) << c.order << " " << c.text;
    if (c.result == 0) {
      EXPECT_EQ(packed, c.packed) << c.order << " " << c.text;
    }
  }
}

TEST(Dates, ParsedDatesReadBackInTheSameOrder) {
  struct Case {
    int order;
    const char* text;
    const char* shown;
  } cases[] = {
      {kOrderMonthDayYear, "=010299", "01/02/1999"},
      {kOrderMonthDayYear, "=123179", "12/31/2079"},
      {kOrderMonthDayYear, "=070480", "07/04/1980"},
      {kOrderDayMonthYear, "=31121999", "31/12/1999"},
      {kOrderYearMonthDay, "=790102", "2079/01/02"},
  };
  for (const Case& c : cases) {
    uint32_t packed = 0;
    ASSERT_EQ(ParseDate(c.text, c.order, &packed), 0) << c.text;
    char buffer[kDateTextSize];
    EXPECT_STREQ(FormatDateWith(packed, c.order, '/', buffer), c.shown);
  }
}

TEST(Dates, TodayIsTheLocalDateWithTimeZero) {
  std::time_t now = std::time(nullptr);
  uint32_t today = TodayPacked();
  std::tm local = *std::localtime(&now);
  uint32_t expected = Packed(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  uint32_t later = TodayPacked();
  EXPECT_EQ(today & 0xFFFFu, 0u);
  EXPECT_TRUE(today == expected || later == expected) << std::hex << today << " " << expected;
}

TEST(Dates, LocaleOrderUnreadableHere) {
  int order = kOrderDayMonthYear;
  EXPECT_EQ(ReadLocaleOrder(&order), 1);
  EXPECT_EQ(order, kOrderDayMonthYear);  // the LOCALE option applies the fallback
}

}  // namespace
