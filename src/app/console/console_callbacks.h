// vespa-console's questions: put on the terminal, or answered "no" (with a note) when standard
// input is not a terminal.
#pragma once

#include <cstdint>

#include "report/user_callbacks.h"

class ConsoleCallbacks : public UserCallbacks {
 public:
  int AskOverwrite(const char* name, const CentralHeader* entry) override;
  int AskLastDisk() override;
  int AskDisk(int diskNumber) override;
  char* GetPassword(char* buffer, int size) override;
  int AskYesNo(const char* question) override;
  int AskPassword(const char* entryName, char* buffer, int size) override;
};

// The overwrite question's text (the system's own), bounded by size.
void ComposeOverwriteQuestion(char* text, int size, const char* name, const CentralHeader* entry);
// "%02d:%02d:%02d" of a DOS time; seconds are twice the stored count.
void FormatDosTime(uint16_t dosTime, char* buffer, int size);
