// vespa-console's reports: progress lines, warnings and fatal messages on the terminal.
#pragma once

#include <cstdio>

#include "report/report.h"

class ConsoleFrontEnd : public ReportFrontEnd {
 public:
  void showMessage(void* owner, const char* text, const char* caption) override;
  void onTesting() override;
  void onAction(const char* label) override;
  void onItem(const char* name) override;
  void onTested() override { endItem(); }
  void onExtracted(uint64_t) override { endItem(); }
  void onSkipping(const char* name) override;
  void onAuthentic() override;
  void onWarning(int number, const char* text) override;
  // The verified maker on the run's output: the code line, the name, the additional text.
  void showAuthenticity(void* owner, const AuthenticityNotice& notice) override;
  // Progress goes to standard error when decoded data goes to standard output (CONSOLE).
  void setProgressToStandardError(bool on) { progressToStderr_ = on; }
  // Ends a progress line left open.
  void endLine();
  // The warnings received so far.
  unsigned warnings() const { return warnings_; }

 private:
  std::FILE* progressOut() const { return progressToStderr_ ? stderr : stdout; }
  void printLabelled(int stringId, const char* text);
  void endItem();
  bool lineOpen_ = false;
  unsigned warnings_ = 0;
  bool progressToStderr_ = false;
  const char* action_ = "";
  char actionText_[64] = {};
};
