// Runs one command over an archive the way the stub's pass does: options, name lists, the
// driver. Test-only.
#pragma once

#include <string>
#include <vector>

#include "archive_fixture.h"
#include "options/run_options.h"
#include "recording_front_end.h"
#include "report/user_callbacks.h"

// Answers every question from a script; records what was asked.
class ScriptedCallbacks : public UserCallbacks {
 public:
  std::vector<int> overwriteAnswers;  // consumed in order; 'N' when exhausted
  std::vector<std::pair<int, std::string>> passwordAnswers;  // (answer, password)
  std::vector<std::string> asked;  // "overwrite:NAME", "password:NAME"

  int AskOverwrite(const char* name, const CentralHeader*) override;
  int AskLastDisk() override { return kKeyAbort; }
  int AskDisk(int) override { return kKeyAbort; }
  char* GetPassword(char* buffer, int size) override;
  int AskYesNo(const char*) override { return 0; }
  int AskPassword(const char* entryName, char* buffer, int size) override;
};

// Loads bytes as the archive, resets the options, parses words (an argument vector of option
// words and names; the archive name is already set), and runs the command. Returns the driver's
// count.
int RunOn(const std::string& archivePath, const std::string& bytes,
          const std::vector<std::string>& words);
