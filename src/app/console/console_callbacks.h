// vespa-console's questions: put on the terminal, or answered "no" (with a note) when standard
// input is not a terminal.
#pragma once

#include <cstdint>

#include "extract/decrypt.h"
#include "report/user_callbacks.h"

class ConsoleCallbacks : public UserCallbacks {
 public:
  int AskOverwrite(const char* name, const CentralHeader* entry) override;
  int AskLastDisk() override;
  int AskDisk(int diskNumber) override;
  char* GetPassword(char* buffer, int size) override;
  int AskYesNo(const char* question) override;
  int AskPassword(const char* entryName, char* buffer, int size) override;

 private:
  char password_[kPasswordSize] = {};  // the last password typed, for the runs after it
};
