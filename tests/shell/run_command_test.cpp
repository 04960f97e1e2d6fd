// The run-after command split into the program the stub starts and the command line it hands
// it: the program word is found before the destination replaces "%0", so blanks in the
// destination never split it, and it reaches the program quoted.
#include <gtest/gtest.h>

#include "shell/run_after.h"

namespace {

TEST(SplitRunCommand, ProgramAndCommandLine) {
  struct Row {
    const char* command;
    const char* destination;
    const char* program;
    const char* commandLine;
  };
  const Row rows[] = {
      {"%0setup.exe", "C:\\DEST\\", "C:\\DEST\\setup.exe", "\"C:\\DEST\\setup.exe\""},
      {"%0setup.exe /s %0", "C:\\Meus Programas\\", "C:\\Meus Programas\\setup.exe",
       "\"C:\\Meus Programas\\setup.exe\" /s C:\\Meus Programas\\"},
      {"\"%0bin\\a b.exe\" \"um dois\" tr\xEAs", "D:\\X\\", "D:\\X\\bin\\a b.exe",
       "\"D:\\X\\bin\\a b.exe\" \"um dois\" tr\xEAs"},
      {"  notepad.exe\t%0LEIA-ME.TXT", "C:\\D\\", "notepad.exe",
       "\"notepad.exe\"\tC:\\D\\LEIA-ME.TXT"},
      {"\"%0unclosed", "C:\\D\\", "C:\\D\\unclosed", "\"C:\\D\\unclosed\""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.command);
    ProgramCommand split = SplitRunCommand(row.command, row.destination);
    EXPECT_STREQ(split.program.c_str(), row.program);
    EXPECT_STREQ(split.commandLine.c_str(), row.commandLine);
  }
}

TEST(SplitRunCommand, WhatHasAPath) {
  EXPECT_FALSE(HasPath("setup.exe"));
  EXPECT_FALSE(HasPath("notepad"));
  EXPECT_TRUE(HasPath("bin\\setup.exe"));
  EXPECT_TRUE(HasPath("bin/setup.exe"));
  EXPECT_TRUE(HasPath("C:setup.exe"));
}

}  // namespace
