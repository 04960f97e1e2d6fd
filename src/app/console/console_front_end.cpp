#include "app/console/console_front_end.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "app/console/terminal.h"
#include "report/string_ids.h"

namespace {

// Names can be far longer than a path: the parts of a line are written as they are, never cut.
void WriteLine(std::FILE* out, const char* label, const char* separator, const char* text,
               const char* end) {
  TerminalWrite(out, label);
  TerminalWrite(out, separator);
  TerminalWrite(out, text ? text : "");
  TerminalWrite(out, end);
}

}  // namespace

void ConsoleFrontEnd::eraseFigure() {
  if (figureLength_ == 0) return;
  const std::string back(figureLength_, '\b');
  TerminalWrite(progressOut(), (back + std::string(figureLength_, ' ') + back).c_str());
  figureLength_ = 0;
}

void ConsoleFrontEnd::onWriting(uint64_t bytes) {
  // The dialog draws every 40 ms: a terminal gets no more.
  constexpr auto kDrawInterval = std::chrono::milliseconds(40);
  if (!itemOpen_ || progressToStderr_ || !TerminalShowsOutput()) return;
  const auto now = std::chrono::steady_clock::now();
  if (figureLength_ != 0 && now - figureDrawn_ < kDrawInterval) return;
  figureDrawn_ = now;
  char figure[kKilobytesTextSize];
  FormatKilobytes((bytes + 1023) / 1024, figure);
  std::string text = std::string(figureLength_, '\b') + "  " + figure;
  const size_t length = std::strlen(figure) + 2;
  // A shorter figure would leave the end of the last one behind.
  if (length < figureLength_) text += std::string(figureLength_ - length, ' ');
  TerminalWrite(progressOut(), text.c_str());
  figureLength_ = length < figureLength_ ? figureLength_ : length;
  std::fflush(progressOut());
}

void ConsoleFrontEnd::endLine() {
  eraseFigure();
  itemOpen_ = false;
  if (!lineOpen_) return;
  TerminalWrite(progressOut(), "\n");
  lineOpen_ = false;
}

void ConsoleFrontEnd::showMessage(void*, const char* text, const char*) {
  endLine();
  TerminalWrite(stderr, text);
  TerminalWrite(stderr, "\n");
}

void ConsoleFrontEnd::printLabelled(int stringId, const char* text) {
  char label[64];
  loadString(stringId, label, sizeof label);
  endLine();
  WriteLine(progressOut(), label, " ", text, "\n");
}

void ConsoleFrontEnd::onTesting() {
  loadString(IDS_TESTING, actionText_, sizeof actionText_);
  action_ = actionText_;
}

void ConsoleFrontEnd::onAction(const char* label) {
  std::snprintf(actionText_, sizeof actionText_, "%s", label);
  action_ = actionText_;
}

// One line per entry: what is done to it, its name, then how it ended.
void ConsoleFrontEnd::onItem(const char* name) {
  endLine();
  WriteLine(progressOut(), action_, " ", name, "");
  lineOpen_ = true;
  itemOpen_ = true;
}

// The line stays open for the mark of a verified protected entry; what comes next ends it.
void ConsoleFrontEnd::endItem() {
  eraseFigure();
  itemOpen_ = false;
  if (lineOpen_) TerminalWrite(progressOut(), "  OK");
}

void ConsoleFrontEnd::onAuthentic() {
  eraseFigure();
  if (!lineOpen_) return;
  char mark[16];
  loadString(IDS_AUTHENTIC_MARK, mark, sizeof mark);
  TerminalWrite(progressOut(), mark);
}

void ConsoleFrontEnd::onSkipping(const char* name) { printLabelled(IDS_SKIPPING, name); }

void ConsoleFrontEnd::onWarning(int, const char* text) {
  ++warnings_;
  char label[32];
  loadString(IDS_WARNING, label, sizeof label);
  endLine();
  WriteLine(stderr, label, ": ", text, "\n");
}

void ConsoleFrontEnd::showAuthenticity(void*, const AuthenticityNotice& notice) {
  // The stub's title line without its second "%s": the name gets a line of its own here.
  char format[128];
  loadString(IDS_AUTHENTIC_WITH_TEXT, format, sizeof format);
  char title[sizeof format + 16];
  std::snprintf(title, sizeof title, format, notice.code);
  endLine();
  WriteLine(progressOut(), title, "\n", notice.name, "\n");
  if (notice.textLength == 0) return;
  // Written for the stub's text box, with CR LF line ends; a terminal wants LF alone.
  std::string text;
  for (const char* p = notice.text; *p; ++p) {
    if (!(p[0] == '\r' && p[1] == '\n')) text.push_back(*p);
  }
  if (text.empty() || text.back() != '\n') text.push_back('\n');
  TerminalWrite(progressOut(), text.c_str());
}
