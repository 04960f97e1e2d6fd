// vespa-console's reports: progress lines, warnings and fatal messages on the terminal.
#pragma once

#include <chrono>
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
  // On a terminal, the kilobytes of a large file written so far, after its name, at the
  // dialog's pace; taken away before the line goes on, so that what stays is as without it.
  void onWriting(uint64_t bytes) override;
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
  void eraseFigure();
  bool lineOpen_ = false;
  bool itemOpen_ = false;     // the open line is an entry's that has not ended yet
  size_t figureLength_ = 0;   // the figure of onWriting now at the end of the line
  std::chrono::steady_clock::time_point figureDrawn_{};
  unsigned warnings_ = 0;
  bool progressToStderr_ = false;
  const char* action_ = "";
  char actionText_[64] = {};
};
