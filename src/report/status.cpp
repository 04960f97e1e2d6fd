#include "report/status.h"


#include "fs/format.h"
#include "report/messages.h"

Status Status::Fatal(int number, const char* detail) {
  Status s;
  s.kind_ = StatusKind::kFatal;
  s.number_ = number;
  s.detail_ = detail ? detail : "";
  return s;
}

Status Status::ArchiveError(int number, const char* detail) {
  Status s = Fatal(number, detail);
  s.kind_ = StatusKind::kArchiveError;
  return s;
}

Status Status::Exit(int code) {
  Status s;
  s.kind_ = StatusKind::kExit;
  s.number_ = code;
  return s;
}

int Status::exitCode() const {
  switch (kind_) {
    case StatusKind::kArchiveError: return number_ + kArchiveErrorExitOffset;
    case StatusKind::kOk: return 0;
    default: return number_;
  }
}

void Status::messageText(char* buffer, size_t size) const {
  if (size == 0) return;
  FormatText(buffer, size, "%s", message().c_str());
}

Text Status::message() const {
  Text text;
  if (kind_ == StatusKind::kFatal) {
    text = FatalText(number_);
    text += " ";
    text += detail_.c_str();
  } else if (kind_ == StatusKind::kArchiveError) {
    text = ArchiveErrorText(number_);
    if (!detail_.empty()) {
      text += ": ";
      text += detail_.c_str();
    }
  }
  return text;
}
