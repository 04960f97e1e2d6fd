// The stub's reporting front end: warning message boxes, the run's progress kept for the main
// dialog, window captions and the string table of the program's resources. Boxes asked for by
// the run's thread are shown by the dialog's.
#include <cstdlib>

#include "app/sfx/main_dialog_win32.h"
#include "app/sfx/sfx_win32.h"
#include "report/report.h"

StubState gStub;

namespace {

class Win32FrontEnd : public ReportFrontEnd {
 public:
  void showMessage(void* owner, const char* text, const char* caption) override {
    auto show = [=] { MessageBoxUtf8(static_cast<HWND>(owner), text, caption, MB_ICONWARNING); };
    OnDialogThread(show);
  }

  void onTesting() override { ReportTesting(); }
  void onAction(const char* label) override { ReportAction(label); }
  void onItem(const char* name) override { ReportItem(name); }
  void onTested() override { ReportTested(); }
  void onExtracted(uint64_t bytes) override { ReportExtracted(bytes); }
  void onWriting(uint64_t bytes) override { ReportWriting(bytes); }
  void onSkipping(const char* name) override { ReportSkipping(name); }
  void onAuthentic() override { ReportAuthentic(); }
  void onWarning(int, const char* text) override { ReportWarning(text); }

  void windowText(void* window, char* buffer, int size) override {
    GetWindowTextUtf8(static_cast<HWND>(window), buffer, size);
  }

  // Centred on the desktop, same size, not repainted yet.
  void centerWindow(void* window) override {
    HWND hwnd = static_cast<HWND>(window);
    RECT desktop, own;
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(hwnd, &own);
    int width = own.right - own.left;
    int height = own.bottom - own.top;
    MoveWindow(hwnd, (desktop.left + desktop.right - width) / 2,
               (desktop.top + desktop.bottom - height) / 2, width, height, FALSE);
  }

  int loadString(int id, char* buffer, int size) override {
    if (size <= 0) return 0;
    buffer[0] = 0;
    return LoadStringUtf8(gStub.instance, id, buffer, size);
  }

  void showAuthenticity(void* owner, const AuthenticityNotice& notice) override {
    auto show = [=, &notice] { ShowAuthenticity(static_cast<HWND>(owner), notice); };
    OnDialogThread(show);
  }
};

// Namespace-scope objects, not function statics: made before any thread, with no guard code.
Win32FrontEnd gFrontEnd;
Reporter gReporterBeforeSession(gFrontEnd);

}  // namespace

ReportFrontEnd& StubFrontEnd() { return gFrontEnd; }

Reporter& StubReporter() { return gStub.session ? gStub.session->reporter : gReporterBeforeSession; }

HWND ProgressWindow() { return static_cast<HWND>(StubReporter().progressWindow()); }

Caption::Caption(HWND window) { WindowCaption(StubFrontEnd(), window, text_, sizeof text_); }

void CenterWindow(HWND window) { StubFrontEnd().centerWindow(window); }

void EndStub(const Status& status) {
  StubReporter().showStatus(status);
  EndDdeConversation(gStub.dde);
  if (gStub.icon) DestroyIcon(gStub.icon);
  gStub.icon = nullptr;
  std::exit(status.exitCode());
}

ResourceText::ResourceText(int id) : text_(LoadResourceText(StubFrontEnd(), id, kStringSize)) {
  if (!text_) EndStub(Status::Fatal(kFatalNoMemory));
}
ResourceText::~ResourceText() { delete[] text_; }
