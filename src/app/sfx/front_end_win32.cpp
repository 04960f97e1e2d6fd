// The stub's reporting front end: warning message boxes, the run's progress kept for the main
// dialog, window captions and the string table of the program's resources. Boxes asked for by
// the run's thread are shown by the dialog's.
#include <cstdlib>

#include "app/sfx/main_dialog_win32.h"
#include "app/sfx/sfx_win32.h"
#include "report/report.h"
#include "shell/deploy_record.h"

StubState gStub;

namespace {

bool Windowless() { return gStub.deploy.switches.windowless(); }

// A run started with /LOG= (or from a console) has its lines written as well; a silent run has
// them only, and no window at all.
class Win32FrontEnd : public ReportFrontEnd {
 public:
  void showMessage(void* owner, const char* text, const char* caption) override {
    if (RunLog* log = gStub.deploy.log) log->showMessage(owner, text, caption);
    if (Windowless()) return;
    auto show = [=] { MessageBoxUtf8(static_cast<HWND>(owner), text, caption, MB_ICONWARNING); };
    OnDialogThread(show);
  }

  void onTesting() override {
    if (RunLog* log = gStub.deploy.log) log->onTesting();
    if (!Windowless()) ReportTesting();
  }
  void onAction(const char* label) override {
    if (RunLog* log = gStub.deploy.log) log->onAction(label);
    if (!Windowless()) ReportAction(label);
  }
  void onItem(const char* name) override {
    if (RunLog* log = gStub.deploy.log) log->onItem(name);
    if (!Windowless()) ReportItem(name);
  }
  void onTested() override {
    if (RunLog* log = gStub.deploy.log) log->onTested();
    if (!Windowless()) ReportTested();
  }
  void onExtracted(uint64_t bytes) override {
    if (RunLog* log = gStub.deploy.log) log->onExtracted(bytes);
    if (!Windowless()) ReportExtracted(bytes);
  }
  void onWriting(uint64_t bytes) override {
    if (!Windowless()) ReportWriting(bytes);
  }
  void onSkipping(const char* name) override {
    if (RunLog* log = gStub.deploy.log) log->onSkipping(name);
    if (!Windowless()) ReportSkipping(name);
  }
  void onAuthentic() override {
    if (RunLog* log = gStub.deploy.log) log->onAuthentic();
    if (!Windowless()) ReportAuthentic();
  }
  void onWarning(int number, const char* text) override {
    if (RunLog* log = gStub.deploy.log) log->onWarning(number, text);
    if (!Windowless()) ReportWarning(text);
  }

  void windowText(void* window, char* buffer, int size) override {
    // A silent run's progress window is a token, no window.
    if (Windowless()) return;
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
    if (RunLog* log = gStub.deploy.log) log->showAuthenticity(owner, notice);
    if (Windowless()) return;
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
  if (gStub.deploy.removeFolder) gStub.deploy.removeFolder();
  std::exit(StubExitCode(status));
}

int StubExitCode(const Status& status) {
  const DeployState& deploy = gStub.deploy;
  if (!deploy.switches.any && !(deploy.flags & kDeployTemporaryFolder)) return status.exitCode();
  const bool warned = gStub.session && gStub.session->reporter.warned();
  return DeploymentExitCode(status, warned, deploy.asked);
}

ResourceText::ResourceText(int id) : text_(LoadResourceText(StubFrontEnd(), id, kStringSize)) {
  if (!text_) EndStub(Status::Fatal(kFatalNoMemory));
}
ResourceText::~ResourceText() { delete[] text_; }
