// A report front end that records what would have been shown, for assertions, with a reporter
// over it. As the progress window it receives notifications and warnings as the main dialog
// does; without, warnings become message boxes. Test-only.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "report/report.h"

// The progress calls of ReportFrontEnd, one value each.
enum class Progress { kTesting, kAction, kItem, kTested, kExtracted, kSkipping, kAuthentic, kWarning };

struct RecordedNotification {
  Progress kind;
  uint64_t value;  // the warning's number, the bytes extracted
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
  void onTesting() override { record(Progress::kTesting); }
  void onAction(const char* label) override { record(Progress::kAction, 0, label); }
  void onItem(const char* name) override { record(Progress::kItem, 0, name); }
  void onTested() override { record(Progress::kTested); }
  void onExtracted(uint64_t bytes) override { record(Progress::kExtracted, bytes); }
  // Figures of the moment, apart from the notifications: each with how many notifications
  // had arrived before it.
  void onWriting(uint64_t bytes) override { writing.emplace_back(notifications.size(), bytes); }
  void onSkipping(const char* name) override { record(Progress::kSkipping, 0, name); }
  void onAuthentic() override { record(Progress::kAuthentic); }
  void onWarning(int number, const char* text) override {
    record(Progress::kWarning, static_cast<uint64_t>(number), text);
  }
  void showAuthenticity(void* owner, const AuthenticityNotice& notice) override;

  Reporter& reporter() { return reporter_; }

  std::vector<std::string> messages;  // message boxes
  std::vector<RecordedNotification> notifications;
  std::vector<std::pair<size_t, uint64_t>> writing;
  std::vector<std::string> captions;
  std::vector<RecordedAuthenticity> authenticity;  // verified records, in order

  // Warning numbers in the order they arrived.
  std::vector<int> warnings() const;
  std::vector<std::string> warningTexts() const;
  // The kinds of the progress calls alone, in order.
  std::vector<Progress> sequence() const;

 private:
  void record(Progress kind, uint64_t value = 0, const char* text = nullptr) {
    notifications.push_back({kind, value, text ? text : ""});
  }

  Reporter reporter_;
};
