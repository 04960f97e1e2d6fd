// The superscript digits of the device names are the one place where the two encodings of a
// name read differently: one byte in 1252, two in UTF-8, and the other's bytes are no device.
#include <gtest/gtest.h>

#include <cstring>

#include "zip/windows_names.h"

namespace {

struct Row {
  const char* component;
  bool ansi;  // altered when read as 1252
  bool utf8;  // altered when read as UTF-8
};

TEST(WindowsNames, DeviceDigitsByEncoding) {
  const Row rows[] = {
      {"COM\xB9", true, false},           // superscript one in 1252
      {"COM\xC2\xB9", false, true},       // superscript one in UTF-8 ("COMÂ¹" in 1252)
      {"lpt\xB3.txt", true, false},
      {"lpt\xC2\xB2.txt", false, true},
      {"COM\xB9\xB9", false, false},      // two digits: no device
      {"COM\xC2\xB9x", false, false},
      {"COM", false, false},
      {"COM10", false, false},
      {"con .a.b", true, true},
      {"CONIN$ ", true, true},
      {".", false, false},
      {"..", true, true},                 // ends in a dot (climbing out is refused before)
      {"", false, false},
  };
  for (const Row& row : rows) {
    const size_t length = std::strlen(row.component);
    EXPECT_EQ(windowsAltersComponent(row.component, length, NameEncoding::kAnsi), row.ansi)
        << row.component;
    EXPECT_EQ(windowsAltersComponent(row.component, length, NameEncoding::kUtf8), row.utf8)
        << row.component;
  }
}

TEST(WindowsNames, EveryComponentOfAPathIsJudged) {
  EXPECT_FALSE(windowsAltersPath("pasta/sub/", NameEncoding::kAnsi));
  EXPECT_TRUE(windowsAltersPath("pasta/aux/x.txt", NameEncoding::kAnsi));
  EXPECT_TRUE(windowsAltersPath("pasta./x.txt", NameEncoding::kAnsi));
  EXPECT_TRUE(windowsAltersPath("pasta/x.txt ", NameEncoding::kAnsi));
}

}  // namespace
