#include "report/status.h"


#include "fs/format.h"
#include "report/messages.h"

Status Status::Fatal(int number, const char* detail) {
  Status s;
  s.kind_ = StatusKind::kFatal;
  s.number_ = number;
  FormatText(s.detail_, sizeof s.detail_, "%s", detail ? detail : "");
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
  buffer[0] = 0;
  if (kind_ == StatusKind::kFatal) {
    FormatText(buffer, size, "%s %s", FatalText(number_), detail_);
  } else if (kind_ == StatusKind::kArchiveError) {
    if (detail_[0]) {
      FormatText(buffer, size, "%s: %s", ArchiveErrorText(number_), detail_);
    } else {
      FormatText(buffer, size, "%s", ArchiveErrorText(number_));
    }
  }
}
