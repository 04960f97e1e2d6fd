// A report front end that records what would have been shown, for assertions. Installing it
// also makes it the progress window, so notifications and warnings reach it as they reach the
// main dialog. Test-only.
#pragma once

#include <string>
#include <vector>

#include "report/report.h"

struct RecordedNotification {
  unsigned message;
  uintptr_t wParam;
  std::string text;
};

class RecordingFrontEnd : public ReportFrontEnd {
 public:
  // asProgressWindow: route notifications here (ProgressWindow = this) or leave it null, so that
  // warnings become message boxes.
  explicit RecordingFrontEnd(bool asProgressWindow = true);
  ~RecordingFrontEnd() override;

  void showMessage(void* owner, const char* text, const char* caption) override;
  intptr_t sendProgress(void* window, unsigned message, uintptr_t wParam,
                        const char* text) override;

  std::vector<std::string> messages;  // message boxes
  std::vector<RecordedNotification> notifications;
  std::vector<std::string> captions;

  // Warning numbers in the order they arrived.
  std::vector<int> warnings() const;
  std::vector<std::string> warningTexts() const;
  // The notification messages alone, in order.
  std::vector<unsigned> sequence() const;
};
