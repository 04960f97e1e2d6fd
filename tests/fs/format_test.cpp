// The formatter gives what the C library's snprintf gives for every conversion the system's
// texts use, and cuts and terminates like it.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>

#include "fs/format.h"

namespace {

#define EXPECT_AS_SNPRINTF(...)                                                        \
  do {                                                                                 \
    char ours[128], theirs[128];                                                       \
    const int ourLength = FormatText(ours, sizeof ours, __VA_ARGS__);                  \
    const int theirLength = std::snprintf(theirs, sizeof theirs, __VA_ARGS__);         \
    EXPECT_STREQ(ours, theirs);                                                        \
    EXPECT_EQ(ourLength, theirLength) << theirs;                                       \
  } while (0)

TEST(FormatText, ConversionsAsTheCLibrary) {
  EXPECT_AS_SNPRINTF("%s", "Falha na checagem do arquivo de CRC ");
  EXPECT_AS_SNPRINTF("%s: %s", "Arquivo", "");
  EXPECT_AS_SNPRINTF("%d.%d para extrair: %s", 2, 6, "a/b.txt");
  EXPECT_AS_SNPRINTF("%02d%c%02d%c%04d", 7, '/', 3, '/', 1999);
  EXPECT_AS_SNPRINTF("%02d:%02d:%02d", 0, 5, 59);
  EXPECT_AS_SNPRINTF("%.*s%s", 3, "C:/pasta", "x.exe");
  EXPECT_AS_SNPRINTF("%lu", 4294967295ul);
  EXPECT_AS_SNPRINTF("%d %i %d", INT_MIN, INT_MAX, -42);
  EXPECT_AS_SNPRINTF("%u %x %X %08X", 0u, 0xBEEFu, 0xBEEFu, 0x1Fu);
  EXPECT_AS_SNPRINTF("[%5s][%-5s][%5d][%-5d][%05d][%.3d][%*d]", "ab", "ab", -12, 12, -12, 7, 4, 9);
  EXPECT_AS_SNPRINTF("%lld %llu", -9000000000ll, 18000000000ull);
  EXPECT_AS_SNPRINTF("100%% %c", 'K');
}

TEST(FormatText, CutsTerminatesAndCountsTheWholeText) {
  char buffer[6];
  EXPECT_EQ(FormatText(buffer, sizeof buffer, "%s-%d", "abcdef", 12), 9);
  EXPECT_STREQ(buffer, "abcde");
  buffer[0] = 'x';
  EXPECT_EQ(FormatText(buffer, 0, "%s", "abc"), 3);
  EXPECT_EQ(buffer[0], 'x');
  EXPECT_EQ(FormatText(buffer, 1, "%s", "abc"), 3);
  EXPECT_STREQ(buffer, "");
  // A conversion it does not know is shown as written rather than reading an argument.
  EXPECT_EQ(FormatText(buffer, sizeof buffer, "%q"), 2);
  EXPECT_STREQ(buffer, "%q");
}

}  // namespace
