// A report front end that records what would have been shown, for assertions, with a reporter
// over it. As the progress window it receives notifications and warnings as the main dialog
// does; without, warnings become message boxes. Test-only.
#pragma once

#include <string>
#include <vector>

#include "report/report.h"

struct RecordedNotification {
  unsigned message;
  uintptr_t wParam;
  std::string text;
};

struct RecordedAuthenticity {
  std::string code;
  std::string name;
  std::string text;
};

class RecordingFrontEnd : public ReportFrontEnd {
 public:
  // asProgressWindow: the reporter sends notifications here, or has no progress window, so
  // that warnings become message boxes.
  explicit RecordingFrontEnd(bool asProgressWindow = true);
  RecordingFrontEnd(const RecordingFrontEnd&) = delete;
  RecordingFrontEnd& operator=(const RecordingFrontEnd&) = delete;

  void showMessage(void* owner, const char* text, const char* caption) override;
  intptr_t sendProgress(void* window, unsigned message, uintptr_t wParam,
                        const char* text) override;
  void showAuthenticity(void* owner, const AuthenticityNotice& notice) override;

  Reporter& reporter() { return reporter_; }

  std::vector<std::string> messages;  // message boxes
  std::vector<RecordedNotification> notifications;
  std::vector<std::string> captions;
  std::vector<RecordedAuthenticity> authenticity;  // verified records, in order

  // Warning numbers in the order they arrived.
  std::vector<int> warnings() const;
  std::vector<std::string> warningTexts() const;
  // The notification messages alone, in order.
  std::vector<unsigned> sequence() const;

 private:
  Reporter reporter_;
};
