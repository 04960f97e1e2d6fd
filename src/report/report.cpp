// Warnings, message boxes, progress notifications and the figures shown to the user.
#include "report/report.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "fs/codepage.h"
#include "fs/format.h"
#include "fs/text.h"
#include "report/string_ids.h"

namespace {

// String resources are loaded into buffers of this size.
constexpr int kLoadedStringSize = 256;

const char kProgramName[] = "VESPA® para Windows";

}  // namespace

void ReportFrontEnd::showAuthenticity(void* owner, const AuthenticityNotice& notice) {
  char format[kLoadedStringSize];
  if (loadString(IDS_AUTHENTIC, format, sizeof format) == 0) return;
  size_t size = std::strlen(format) + std::strlen(notice.code) + std::strlen(notice.name) + 1;
  char* buffer = new (std::nothrow) char[size];
  if (!buffer) return;
  FormatText(buffer, size, format, notice.code, notice.name);
  Text shown(buffer);
  delete[] buffer;
  if (notice.textLength != 0) {
    shown += "\n";
    shown += notice.text;
  }
  char caption[kCaptionTextSize];
  showMessage(owner, shown.c_str(), WindowCaption(*this, owner, caption, sizeof caption));
}

void Reporter::warning(int number, const char* detail) {
  // The detail is often an entry's name, which may be far longer than a path: it is shown whole.
  Text text(WarningText(number));
  text += " ";
  text += detail ? detail : "";
  if (progressWindow_) {
    frontEnd_->onWarning(number, text.c_str());
  } else {
    show(text.c_str());
  }
  warned_ = true;
}

void Reporter::show(const char* text) const {
  char caption[kCaptionTextSize];
  frontEnd_->showMessage(progressWindow_, text,
                         WindowCaption(*frontEnd_, progressWindow_, caption, sizeof caption));
}

void Reporter::showStatus(const Status& status) const {
  if (status.kind() != StatusKind::kFatal && status.kind() != StatusKind::kArchiveError) return;
  show(status.message().c_str());
}

char* LoadResourceText(ReportFrontEnd& frontEnd, int id, int size) {
  char* buffer = new (std::nothrow) char[size > 0 ? size : 1];
  if (!buffer) return nullptr;
  buffer[0] = 0;
  frontEnd.loadString(id, buffer, size);
  return buffer;
}

const char* WindowCaption(ReportFrontEnd& frontEnd, void* window, char* buffer, int size) {
  if (size <= 0) return "";
  // Before the dialog exists, the publisher's title (when the program carries one) is the
  // caption the dialog will have.
  if (frontEnd.loadString(IDS_TITLE, buffer, size) == 0) {
    FormatText(buffer, static_cast<size_t>(size), "%s", kProgramName);
  }
  if (window) {
    frontEnd.windowText(window, buffer, size);
    buffer[Utf8CharactersLength(buffer, std::strlen(buffer), kCaptionCharacters)] = 0;
  }
  return buffer;
}

char* InsertThousandsSeparators(char* text) {
  size_t length = std::strlen(text);
  if (length <= 3) return text;
  size_t commas = (length - 1) / 3;
  // Fill from the right: every third digit gets a comma before it.
  text[length + commas] = 0;
  size_t from = length, to = length + commas, digits = 0;
  while (from > 0) {
    text[--to] = text[--from];
    if (++digits == 3 && from > 0) {
      text[--to] = ',';
      digits = 0;
    }
  }
  return text;
}

char* FormatKilobytes(uint64_t value, char* buffer) {
  char digits[21];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value);
  for (int i = 0; i < n; ++i) buffer[i] = digits[n - 1 - i];
  buffer[n] = 0;
  InsertThousandsSeparators(buffer);
  std::strcat(buffer, "K");
  return buffer;
}
