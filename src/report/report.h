// Everything the engine shows goes through a Reporter: counted warnings, the progress
// notifications for the main dialog (or the terminal), message boxes, and the messages of a
// fatal or archive-structure error once it has reached the front end. Where the reports end up
// is the ReportFrontEnd's business.
#pragma once

#include <cstddef>
#include <cstdint>

#include "report/messages.h"
#include "report/status.h"

// Progress notifications, sent to the progress window (the main dialog handles 0x700 to 0x800).
constexpr unsigned UM_ITEM = 0x701;
constexpr unsigned UM_TESTED = 0x702;
constexpr unsigned UM_WARNING = 0x703;
constexpr unsigned UM_EXTRACTED = 0x705;
constexpr unsigned UM_ACTION = 0x706;
constexpr unsigned UM_SKIPPING = 0x707;
constexpr unsigned UM_AUTHENTIC = 0x70B;
constexpr unsigned UM_TESTING = 0x746;

// An authenticity record that checked: the code of the maker's number, the maker's name and the
// additional text (textLength bytes, NUL-terminated; may be empty).
struct AuthenticityNotice {
  const char* code;
  const char* name;
  const char* text;
  size_t textLength;
};

// Where reports end up: message boxes and the main dialog in the stub, the terminal in
// vespa-console, a recorder in tests. Windows are opaque handles to the core.
class ReportFrontEnd {
 public:
  virtual ~ReportFrontEnd() = default;
  // A warning message box owned by owner (may be null).
  virtual void showMessage(void* owner, const char* text, const char* caption) = 0;
  // Delivers one progress notification (SendMessageA in the stub).
  virtual intptr_t sendProgress(void* window, unsigned message, uintptr_t wParam,
                                const char* text) = 0;
  // Copies the window's caption (at most size chars including the NUL).
  virtual void windowText(void* window, char* buffer, int size) { (void)window, (void)buffer, (void)size; }
  virtual void centerWindow(void* window) { (void)window; }
  // Loads string resource id into buffer; returns its length, 0 when it does not exist.
  // The default reads the built-in copy of the string table.
  virtual int loadString(int id, char* buffer, int size);
  // Shows a verified authenticity record, owned by owner (may be null). The default shows the
  // code and the name (string 532), and the additional text below them, in one message box.
  virtual void showAuthenticity(void* owner, const AuthenticityNotice& notice);
};

// A front end that prints messages on standard error and drops notifications.
ReportFrontEnd& StandardErrorFrontEnd();

// One front end and, during a run, the window that receives the progress notifications.
class Reporter {
 public:
  explicit Reporter(ReportFrontEnd& frontEnd, void* progressWindow = nullptr)
      : frontEnd_(&frontEnd), progressWindow_(progressWindow) {}

  ReportFrontEnd& frontEnd() const { return *frontEnd_; }
  void* progressWindow() const { return progressWindow_; }
  void setProgressWindow(void* window) { progressWindow_ = window; }
  // True once a warning was reported: HELP's exit code, and vespa-console's 1.
  bool warned() const { return warned_; }

  // A notification to the progress window when there is one, else a message box.
  void warning(int number, const char* detail);
  // A message box owned by the progress window, with its caption.
  void show(const char* text) const;
  // The message of a fatal or archive-structure error; nothing for an end without a message.
  void showStatus(const Status& status) const;

  // The progress notifications; each does nothing without a progress window.
  void item(const char* name) const { notify(UM_ITEM, name); }
  void tested() const { notify(UM_TESTED, nullptr); }
  void extracted() const { notify(UM_EXTRACTED, nullptr); }
  void action(const char* label) const { notify(UM_ACTION, label); }
  void skipping(const char* name) const { notify(UM_SKIPPING, name); }
  void authentic() const { notify(UM_AUTHENTIC, nullptr); }
  void testing() const { notify(UM_TESTING, nullptr); }
  // A verified authenticity record, shown over the progress window.
  void authenticity(const AuthenticityNotice& notice) const {
    frontEnd_->showAuthenticity(progressWindow_, notice);
  }

 private:
  void notify(unsigned message, const char* text) const;

  ReportFrontEnd* frontEnd_;
  void* progressWindow_;
  bool warned_ = false;
};

// A new buffer of size chars holding the string resource (empty when the id does not exist);
// the caller frees it with delete[]. Null when memory runs out.
char* LoadResourceText(ReportFrontEnd& frontEnd, int id, int size);
// Window captions are read into buffers of this size.
constexpr int kCaptionTextSize = 80;
// The window's caption, or the program's name without a window, in the caller's buffer.
const char* WindowCaption(ReportFrontEnd& frontEnd, void* window, char* buffer, int size);
// 20 digits, 6 commas, "K" and the end.
constexpr int kKilobytesTextSize = 32;
// Decimal digits, comma thousands separators, "K", in the caller's buffer of kKilobytesTextSize
// chars. Wide enough for the figures of today's disks, which no longer fit in 32 bits of
// kilobytes.
char* FormatKilobytes(uint64_t value, char* buffer);
char* InsertThousandsSeparators(char* text);
