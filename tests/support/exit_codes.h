// Exit codes as a Linux parent sees them. Archive errors end with their number + 149 (299 to
// 304); a Linux wait status keeps only the low 8 bits of that.
#pragma once

#include <gtest/gtest.h>

inline ::testing::ExitedWithCode ArchiveErrorExit(int number) {
  return ::testing::ExitedWithCode((number + 149) & 0xFF);
}
