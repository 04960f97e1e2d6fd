#include "app/run_log.h"

#include "fs/format.h"
#include "fs/text.h"
#include "report/string_ids.h"

void RunLog::endLine() {
  if (!lineOpen_) return;
  write("\n");
  lineOpen_ = false;
}

void RunLog::line(const char* label, const char* text) {
  endLine();
  write(label);
  write(" ");
  write(text ? text : "");
  write("\n");
}

void RunLog::showMessage(void*, const char* text, const char*) {
  endLine();
  write(text);
  write("\n");
}

void RunLog::onTesting() { loadString(IDS_TESTING, action_, sizeof action_); }

void RunLog::onAction(const char* label) { FormatText(action_, sizeof action_, "%s", label); }

void RunLog::onItem(const char* name) {
  endLine();
  write(action_);
  write(" ");
  write(name);
  lineOpen_ = true;
}

// The line stays open for the mark of a verified protected entry; what comes next ends it.
void RunLog::endItem() {
  if (lineOpen_) write("  OK");
}

void RunLog::onAuthentic() {
  if (!lineOpen_) return;
  char mark[16];
  loadString(IDS_AUTHENTIC_MARK, mark, sizeof mark);
  write(mark);
}

void RunLog::onSkipping(const char* name) {
  char label[64];
  loadString(IDS_SKIPPING, label, sizeof label);
  line(label, name);
}

void RunLog::onWarning(int, const char* text) {
  ++warnings_;
  char label[32];
  loadString(IDS_WARNING, label, sizeof label);
  endLine();
  write(label);
  write(": ");
  write(text);
  write("\n");
}

void RunLog::showAuthenticity(void*, const AuthenticityNotice& notice) {
  char format[128];
  loadString(IDS_AUTHENTIC_WITH_TEXT, format, sizeof format);
  char title[sizeof format + 16];
  FormatText(title, sizeof title, format, notice.code);
  endLine();
  write(title);
  write("\n");
  write(notice.name);
  write("\n");
  if (notice.textLength == 0) return;
  // Written for the stub's text box, with CR LF line ends: a log takes LF alone.
  Text text;
  for (const char* p = notice.text; *p; ++p) {
    if (!(p[0] == '\r' && p[1] == '\n')) text += *p;
  }
  if (text.empty() || text[text.size() - 1] != '\n') text += '\n';
  write(text.c_str());
}

void RunLog::closing(bool test) {
  int id = test ? (warnings_ ? IDS_TEST_WARNINGS : IDS_TEST_OK)
                : (warnings_ ? IDS_EXTRACT_WARNINGS : IDS_EXTRACT_DONE);
  char format[256];
  loadString(id, format, sizeof format);
  char text[300];
  FormatText(text, sizeof text, format, static_cast<int>(warnings_));
  endLine();
  write(text);
  write("\n");
}
