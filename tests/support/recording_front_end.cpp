#include "recording_front_end.h"

RecordingFrontEnd::RecordingFrontEnd(bool asProgressWindow)
    : reporter_(*this, asProgressWindow ? this : nullptr) {}

void RecordingFrontEnd::showMessage(void*, const char* text, const char* caption) {
  messages.emplace_back(text);
  captions.emplace_back(caption ? caption : "");
}

void RecordingFrontEnd::showAuthenticity(void*, const AuthenticityNotice& notice) {
  authenticity.push_back({notice.code, notice.name, std::string(notice.text, notice.textLength)});
}

std::vector<int> RecordingFrontEnd::warnings() const {
  std::vector<int> out;
  for (const auto& n : notifications) {
    if (n.kind == Progress::kWarning) out.push_back(static_cast<int>(n.value));
  }
  return out;
}

std::vector<std::string> RecordingFrontEnd::warningTexts() const {
  std::vector<std::string> out;
  for (const auto& n : notifications) {
    if (n.kind == Progress::kWarning) out.push_back(n.text);
  }
  return out;
}

std::vector<Progress> RecordingFrontEnd::sequence() const {
  std::vector<Progress> out;
  for (const auto& n : notifications) out.push_back(n.kind);
  return out;
}
