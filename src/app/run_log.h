// The lines of a run as vespa-console prints them (an entry's action, name and "OK", warnings,
// messages), for a run's log: the /LOG= file of an unattended run and the console it was
// started from. Where the lines go is the subclass's business (write).
#pragma once

#include <cstddef>

#include "report/report.h"

class RunLog : public ReportFrontEnd {
 public:
  // text, UTF-8, lines ending with '\n'.
  virtual void write(const char* text) = 0;

  void showMessage(void* owner, const char* text, const char* caption) override;
  void onTesting() override;
  void onAction(const char* label) override;
  void onItem(const char* name) override;
  void onTested() override { endItem(); }
  void onExtracted(uint64_t) override { endItem(); }
  void onSkipping(const char* name) override;
  void onAuthentic() override;
  void onWarning(int number, const char* text) override;
  void showAuthenticity(void* owner, const AuthenticityNotice& notice) override;
  // A line of the front end's own (a program started, a folder left behind).
  void line(const char* label, const char* text);
  // Ends a progress line left open.
  void endLine();
  // The closing line of a test or an extraction, as vespa-console prints it.
  void closing(bool test);

 private:
  void endItem();
  bool lineOpen_ = false;
  unsigned warnings_ = 0;
  char action_[64] = {};
};
