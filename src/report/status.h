// How a fatal or archive-structure error travels up to the front end: a value carrying the
// message number and its detail. Nothing below the front ends ends the process; the front end
// shows the message (Reporter::showStatus) and ends with the status's exit code.
#pragma once

#include <cstddef>

#include "fs/text.h"

enum class StatusKind : unsigned char {
  kOk,
  kFatal,         // a numbered fatal message; exit code = number
  kArchiveError,  // an archive-structure error; exit code = number + 149
  kExit,          // an end without a message: HELP, VERSION, a confirmed cancel
};

class Status {
 public:
  Status() = default;
  static Status Fatal(int number, const char* detail = nullptr);
  static Status ArchiveError(int number, const char* detail = nullptr);
  static Status Exit(int code);

  bool ok() const { return kind_ == StatusKind::kOk; }
  StatusKind kind() const { return kind_; }
  int number() const { return number_; }
  const char* detail() const { return detail_.c_str(); }
  int exitCode() const;
  // The text the user is shown; empty for an end without a message.
  void messageText(char* buffer, size_t size) const;
  // The same, whole: a detail naming a long path is never cut.
  Text message() const;

 private:
  StatusKind kind_ = StatusKind::kOk;
  int number_ = 0;
  Text detail_;
};
