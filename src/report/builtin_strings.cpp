// The built-in copy of the string table, for the front ends whose program carries no string
// resources (the terminal's, standard error). A file of its own: the stub loads its texts from its
// resources and, calling nothing here, links none of this.
#include <cstdio>
#include <cstring>

#include "fs/format.h"
#include "report/report.h"

namespace {

struct BuiltinString {
  int id;
  const char* text;
};

const BuiltinString kStrings[] = {
#define VESPA_STRING(id, text) {id, text},
#include "resources/strings.inc"
#undef VESPA_STRING
};

// Without a front end of its own a program reports on standard error, in the system's code page.
class StandardError : public ReportFrontEnd {
 public:
  void showMessage(void*, const char* text, const char*) override {
    std::fputs(text, stderr);
    std::fputc('\n', stderr);
  }
};

StandardError gStandardError;

}  // namespace

int ReportFrontEnd::loadString(int id, char* buffer, int size) {
  if (size <= 0) return 0;
  buffer[0] = 0;
  for (const BuiltinString& s : kStrings) {
    if (s.id == id) {
      FormatText(buffer, static_cast<size_t>(size), "%s", s.text);
      return static_cast<int>(std::strlen(buffer));
    }
  }
  return 0;
}

ReportFrontEnd& StandardErrorFrontEnd() { return gStandardError; }
