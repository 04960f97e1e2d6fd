// Everything the engine shows goes through a Reporter: counted warnings, the progress
// notifications for the main dialog (or the terminal), message boxes, and the messages of a
// fatal or archive-structure error once it has reached the front end. Where the reports end up
// is the ReportFrontEnd's business.
#pragma once

#include <cstddef>
#include <cstdint>

#include "report/messages.h"
#include "report/status.h"

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

  // The progress of a run, in the order the engine meets it, each from the thread that runs
  // the engine. A front end shows them at its own pace; none of them may ask the user anything
  // but onWarning. By default they are dropped.
  // The run's action from now on: testing, or extracting with the method's label.
  virtual void onTesting() {}
  virtual void onAction(const char* label) { (void)label; }
  // An entry's work starts; it ends with onTested, onExtracted or a warning.
  virtual void onItem(const char* name) { (void)name; }
  virtual void onTested() {}
  // The entry was written whole: bytes is what was written.
  virtual void onExtracted(uint64_t bytes) { (void)bytes; }
  // The entry being written has bytes written so far (a large one, now and then): a figure of
  // the moment for the front end to draw, never counted; its onExtracted, warning or skip
  // settles it.
  virtual void onWriting(uint64_t bytes) { (void)bytes; }
  // The entry is left as it is on disk (the overwrite answers).
  virtual void onSkipping(const char* name) { (void)name; }
  // A protected entry's data matched the authenticity record's summary.
  virtual void onAuthentic() {}
  // Warning number, its whole text (the message and the detail).
  virtual void onWarning(int number, const char* text) { (void)number, (void)text; }

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

  // The progress of a run (ReportFrontEnd::onItem...); each does nothing without a progress
  // window.
  void item(const char* name) const {
    if (progressWindow_) frontEnd_->onItem(name ? name : "");
  }
  void tested() const {
    if (progressWindow_) frontEnd_->onTested();
  }
  void extracted(uint64_t bytes) const {
    if (progressWindow_) frontEnd_->onExtracted(bytes);
  }
  void writing(uint64_t bytes) const {
    if (progressWindow_) frontEnd_->onWriting(bytes);
  }
  void action(const char* label) const {
    if (progressWindow_) frontEnd_->onAction(label ? label : "");
  }
  void skipping(const char* name) const {
    if (progressWindow_) frontEnd_->onSkipping(name ? name : "");
  }
  void authentic() const {
    if (progressWindow_) frontEnd_->onAuthentic();
  }
  void testing() const {
    if (progressWindow_) frontEnd_->onTesting();
  }
  // A verified authenticity record, shown over the progress window.
  void authenticity(const AuthenticityNotice& notice) const {
    frontEnd_->showAuthenticity(progressWindow_, notice);
  }

 private:
  ReportFrontEnd* frontEnd_;
  void* progressWindow_;
  bool warned_ = false;
};

// A new buffer of size chars holding the string resource (empty when the id does not exist);
// the caller frees it with delete[]. Null when memory runs out.
char* LoadResourceText(ReportFrontEnd& frontEnd, int id, int size);
// A window's caption is read for a message box or a question as its first 79 characters (what
// an 80-character buffer holds), whatever their UTF-8 length: a buffer of kCaptionTextSize bytes.
constexpr int kCaptionCharacters = 79;
constexpr int kCaptionTextSize = 4 * kCaptionCharacters + 1;
// The window's caption cut to kCaptionCharacters characters, or the program's name without a
// window, in the caller's buffer.
const char* WindowCaption(ReportFrontEnd& frontEnd, void* window, char* buffer, int size);
// 20 digits, 6 commas, "K" and the end.
constexpr int kKilobytesTextSize = 32;
// Decimal digits, comma thousands separators, "K", in the caller's buffer of kKilobytesTextSize
// chars. Wide enough for the figures of today's disks, which no longer fit in 32 bits of
// kilobytes.
char* FormatKilobytes(uint64_t value, char* buffer);
char* InsertThousandsSeparators(char* text);
