// The stub's reporting front end: warning message boxes, progress notifications sent to the
// main dialog, window captions and the string table of the program's resources.
#include "app/sfx/sfx_win32.h"
#include "report/report.h"

HINSTANCE gInstance = nullptr;
HICON gProgramIcon = nullptr;

namespace {

class Win32FrontEnd : public ReportFrontEnd {
 public:
  void showMessage(void* owner, const char* text, const char* caption) override {
    MessageBoxA(static_cast<HWND>(owner), text, caption, MB_ICONWARNING);
  }

  intptr_t sendProgress(void* window, unsigned message, uintptr_t wParam,
                        const char* text) override {
    return SendMessageA(static_cast<HWND>(window), message, wParam,
                        reinterpret_cast<LPARAM>(text));
  }

  void windowText(void* window, char* buffer, int size) override {
    GetWindowTextA(static_cast<HWND>(window), buffer, size);
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
    return LoadStringA(gInstance, static_cast<UINT>(id), buffer, size);
  }
};

Win32FrontEnd gWin32FrontEnd;

}  // namespace

void InstallWin32FrontEnd() { SetReportFrontEnd(&gWin32FrontEnd); }

ResourceText::ResourceText(int id) : text_(LoadResourceText(id, nullptr, kStringSize)) {}
ResourceText::~ResourceText() { delete[] text_; }
