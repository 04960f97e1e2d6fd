// Fatal errors, archive errors, warnings, message boxes and progress notifications.
#include "report/report.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "app/app.h"
#include "zip/archive_state.h"

void* ProgressWindow = nullptr;
int gWarningFlag = 0;
unsigned gWarningCounter = 0;
double gExtractedTotal = 0;

namespace {

char gCaption[80] = "VESPA® para Windows";

// Without a front end of its own a program reports on standard error, in the system's code page.
class StandardErrorFrontEnd : public ReportFrontEnd {
 public:
  void showMessage(void*, const char* text, const char*) override {
    std::fprintf(stderr, "%s\n", text);
  }
  intptr_t sendProgress(void*, unsigned, uintptr_t, const char*) override { return 0; }
};

StandardErrorFrontEnd gStandardError;
ReportFrontEnd* gFrontEnd = &gStandardError;

struct BuiltinString {
  int id;
  const char* text;
};

const BuiltinString kStrings[] = {
#define VESPA_STRING(id, text) {id, text},
#include "resources/strings.inc"
#undef VESPA_STRING
};

intptr_t Notify(unsigned message, uintptr_t wParam, const char* text) {
  if (!ProgressWindow) return 0;
  return gFrontEnd->sendProgress(ProgressWindow, message, wParam, text);
}

}  // namespace

int ReportFrontEnd::loadString(int id, char* buffer, int size) {
  if (size <= 0) return 0;
  buffer[0] = 0;
  for (const BuiltinString& s : kStrings) {
    if (s.id == id) {
      std::snprintf(buffer, static_cast<size_t>(size), "%s", s.text);
      return static_cast<int>(std::strlen(buffer));
    }
  }
  return 0;
}

ReportFrontEnd* CurrentFrontEnd() { return gFrontEnd; }

void SetReportFrontEnd(ReportFrontEnd* frontEnd) {
  gFrontEnd = frontEnd ? frontEnd : &gStandardError;
}

void EndProcess(int code) { std::exit(code); }

void ReportFatal(int number, const char* detail) {
  if (number == 0) EndProcess(0);
  if (number != kExitCancelled) {
    char text[512];
    std::snprintf(text, sizeof text, "%s %s", FatalText(number), detail ? detail : "");
    ShowMessage(text);
  }
  if (gArchiveState) gArchiveState->closeArchive();
  EndProcess(number);
}

void ReportArchiveError(int number, const char* detail) {
  char text[520];
  if (detail && *detail) {
    std::snprintf(text, sizeof text, "%s: %s", ArchiveErrorText(number), detail);
  } else {
    std::snprintf(text, sizeof text, "%s", ArchiveErrorText(number));
  }
  ShowMessage(text);
  EndProcess(number + kArchiveErrorExitOffset);
}

void ReportWarning(int number, const char* detail) {
  char text[520];
  std::snprintf(text, sizeof text, "%s %s", WarningText(number), detail ? detail : "");
  if (ProgressWindow) {
    gFrontEnd->sendProgress(ProgressWindow, UM_WARNING, static_cast<uintptr_t>(number), text);
  } else {
    ShowMessage(text);
  }
  gWarningFlag = 1;
}

void ShowMessage(const char* text) {
  gFrontEnd->showMessage(ProgressWindow, text, WindowCaption(ProgressWindow));
}

char* LoadResourceText(int id, void* module, int size) {
  (void)module;
  char* buffer = new (std::nothrow) char[size > 0 ? size : 1];
  if (!buffer) ReportFatal(100, nullptr);
  buffer[0] = 0;
  gFrontEnd->loadString(id, buffer, size);
  return buffer;
}

char* WindowCaption(void* window) {
  if (window) gFrontEnd->windowText(window, gCaption, sizeof gCaption);
  return gCaption;
}

void CenterWindow(void* window) { gFrontEnd->centerWindow(window); }

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

char* FormatKilobytes(uint64_t value) {
  static char buffer[32];  // 20 digits, 6 commas, "K"
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

void NotifyItem(const char* name) { Notify(UM_ITEM, 0, name); }
void NotifyTested() { Notify(UM_TESTED, 0, nullptr); }
void NotifyExtracted() { Notify(UM_EXTRACTED, 0, nullptr); }
void NotifyAction(const char* label) { Notify(UM_ACTION, 0, label); }
void NotifySkipping(const char* name) { Notify(UM_SKIPPING, 0, name); }
void NotifyAuthentic() { Notify(UM_AUTHENTIC, 0, nullptr); }
void NotifyTesting() { Notify(UM_TESTING, 0, nullptr); }
