// What the fuzz targets share: the input as a file the engine can open, a front end that keeps
// nothing, and callbacks that never wait for a person.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "report/report.h"
#include "report/user_callbacks.h"

namespace fuzz {

// A directory of this process's own under the temporary directory, made on first use and
// removed at exit.
const std::string& ScratchDirectory();

// Writes bytes to name inside the scratch directory; returns the full path.
std::string WriteScratchFile(const char* name, const uint8_t* data, size_t size);

// Drops every message and every progress call.
class SilentFrontEnd : public ReportFrontEnd {
 public:
  void showMessage(void*, const char*, const char*) override {}
};

// The password is known from the start; every other question is refused, as a user who never
// answers would: overwrite no, no new name, no other disk, skip further passwords.
class NoQuestions : public UserCallbacks {
 public:
  explicit NoQuestions(const char* password) : password_(password) {}
  int AskOverwrite(const char*, const CentralHeader*) override { return 'N'; }
  int AskLastDisk() override { return kKeyAbort; }
  int AskDisk(int) override { return kKeyAbort; }
  char* GetPassword(char* buffer, int size) override;
  int AskYesNo(const char*) override { return 0; }
  int AskPassword(const char*, char*, int) override { return kPasswordSkipAll; }

 private:
  const char* password_;
};

}  // namespace fuzz
