// The stub's answers to the engine's questions: the overwrite question (dialog 106), the
// password question (dialog 105), disk prompts and yes/no questions as message boxes. Every
// window is owned by the callbacks' owner window, the main dialog once a run has started.
#include <cstring>
#include <memory>
#include <new>

#include "app/overwrite_question.h"
#include "app/sfx/sfx_win32.h"
#include "extract/decrypt.h"
#include "fs/format.h"
#include "fs/fs.h"
#include "report/report.h"
#include "report/string_ids.h"
#include "resources/resource_ids.h"
#include "zip/records.h"

namespace {

// Room for both formatted parts of the overwrite question around a full-length name: two
// string resources, the name, and twice a size, a date and a time. The text is composed with
// bounded writes as well, so a longer resource string could only shorten it.
constexpr int kFigureSize = 32;
constexpr int kPromptSize = 2 * kStringSize + kPathSize + 6 * kFigureSize;

// --- dialog 106: the overwrite question ---------------------------------------------------
INT_PTR CALLBACK OverwriteDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      CenterWindow(dialog);
      SetWindowTextUtf8(dialog, Caption(ProgressWindow()).get());
      SendDlgItemMessageA(dialog, IDC_OVERWRITE_ICON, STM_SETICON,
                          reinterpret_cast<WPARAM>(LoadIconA(nullptr, IDI_QUESTION)), 0);
      SetControlTextUtf8(dialog, IDC_OVERWRITE_TEXT, reinterpret_cast<const char*>(lParam));
      return TRUE;
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

int ShowOverwriteQuestion(HWND owner, const char* text) {
  return static_cast<int>(DialogBoxParamW(gStub.instance, MAKEINTRESOURCEW(IDD_OVERWRITE), owner,
                                          OverwriteDialogProc, reinterpret_cast<LPARAM>(text)));
}

// --- dialog 105: the password question ----------------------------------------------------
struct PasswordRequest {
  const char* entryName;
  char* target;  // receives the typed password after "O&K"
  int limit;     // target's size
  bool retry;    // the password typed at the last question was wrong
};

INT_PTR CALLBACK PasswordDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      auto* request = reinterpret_cast<PasswordRequest*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      CenterWindow(dialog);
      SetWindowTextUtf8(dialog, Caption(ProgressWindow()).get());
      SetControlTextUtf8(dialog, IDC_PASSWORD_NAME, request->entryName);
      if (request->retry) {
        ResourceText wrong(IDS_WRONG_PASSWORD);
        SetControlTextUtf8(dialog, IDC_PASSWORD_TEXT, wrong.get());
      }
      SetControlTextUtf8(dialog, IDC_PASSWORD_EDIT, "");
      // A longer password could not be kept: let the edit say so while it is typed.
      SendDlgItemMessageA(dialog, IDC_PASSWORD_EDIT, EM_LIMITTEXT, kPasswordSize - 1, 0);
      return TRUE;
    }
    case WM_COMMAND: {
      if (HIWORD(wParam) != BN_CLICKED) return FALSE;
      int id = LOWORD(wParam);
      if (id == IDC_PASSWORD_OK) {
        auto* request = reinterpret_cast<PasswordRequest*>(GetWindowLongPtrA(dialog, DWLP_USER));
        char typed[kPasswordSize] = {};
        GetControlTextUtf8(dialog, IDC_PASSWORD_EDIT, typed, sizeof typed);
        if (request->limit > 0) {
          size_t n = std::strlen(typed);
          if (n > static_cast<size_t>(request->limit - 1)) n = static_cast<size_t>(request->limit - 1);
          std::memcpy(request->target, typed, n);
          request->target[n] = 0;
        }
        SecureZeroMemory(typed, sizeof typed);
      }
      EndDialog(dialog, id);
      return TRUE;
    }
    default:
      return FALSE;
  }
}

class Win32Callbacks : public UserCallbacks {
 public:
  // Asked from the run's thread, answered on the dialog's: every window stays there.
  int AskOverwrite(const char* name, const CentralHeader* entry) override {
    int answer = 0;
    auto ask = [&] { answer = OverwriteAnswer(name, entry); };
    OnDialogThread(ask);
    return answer;
  }

  int AskLastDisk() override {
    int key = 0;
    auto ask = [&] {
      ResourceText text(IDS_INSERT_LAST_DISK);
      key = AskToGoOn(text.get());
    };
    OnDialogThread(ask);
    return key;
  }

  int AskDisk(int diskNumber) override {
    int key = 0;
    auto ask = [&] { key = DiskAnswer(diskNumber); };
    OnDialogThread(ask);
    return key;
  }

  char* GetPassword(char* buffer, int size) override {
    if (size <= 0) return buffer;
    std::strncpy(buffer, password_, static_cast<size_t>(size));
    buffer[size - 1] = 0;
    return buffer;
  }

  int AskYesNo(const char* question) override {
    int yes = 0;
    auto ask = [&] {
      HWND window = owner();
      yes = MessageBoxUtf8(window, question, Caption(window).get(), MB_ICONQUESTION | MB_YESNO) ==
            IDYES;
    };
    OnDialogThread(ask);
    return yes;
  }

  int AskPassword(const char* entryName, char* buffer, int size) override {
    int answer = kPasswordSkip;
    auto ask = [&] { answer = PasswordAnswer(entryName, buffer, size); };
    OnDialogThread(ask);
    return answer;
  }

 private:
  HWND owner() const { return static_cast<HWND>(ownerWindow); }

  int OverwriteAnswer(const char* name, const CentralHeader* entry) {
    // The name is shown whole, however long the path.
    const size_t size = kPromptSize + std::strlen(name);
    std::unique_ptr<char[]> prompt(new char[size]);
    ComposeOverwriteQuestion(StubFrontEnd(), dateOrder, prompt.get(), size, name, *entry);
    switch (ShowOverwriteQuestion(owner(), prompt.get())) {
      case IDC_OVERWRITE_YES: return 'Y';
      case IDC_OVERWRITE_ALL: return 'A';
      case IDC_OVERWRITE_NONE: return 'V';
      default: return 'N';  // "&Não" or the dialog closed
    }
  }

  int DiskAnswer(int diskNumber) {
    ResourceText format(IDS_INSERT_DISK);
    size_t size = std::strlen(format.get()) + 32;
    char* text = new (std::nothrow) char[size];
    if (!text) EndStub(Status::Fatal(kFatalNoMemory));
    FormatText(text, size, format.get(), diskNumber);
    int key = AskToGoOn(text);
    delete[] text;
    return key;
  }

  int PasswordAnswer(const char* entryName, char* buffer, int size) {
    PasswordRequest request{entryName, password_, size < kPasswordSize ? size : kPasswordSize,
                            lastPasswordWrong};
    INT_PTR pressed = DialogBoxParamW(gStub.instance, MAKEINTRESOURCEW(IDD_PASSWORD), owner(),
                                      PasswordDialogProc, reinterpret_cast<LPARAM>(&request));
    if (pressed == IDC_PASSWORD_OK) {
      GetPassword(buffer, size);
      return kPasswordEntered;
    }
    if (pressed == IDC_PASSWORD_SKIP_ALL) return kPasswordSkipAll;
    return kPasswordSkip;  // "&Ignorar" or the dialog closed
  }

  int AskToGoOn(const char* text) {
    HWND window = owner();
    return MessageBoxUtf8(window, text, Caption(window).get(), MB_ICONWARNING | MB_OKCANCEL) == IDOK
               ? kKeyGoOn
               : kKeyAbort;
  }

  char password_[kPasswordSize] = {};
};

}  // namespace

UserCallbacks* CreateWin32Callbacks() { return new (std::nothrow) Win32Callbacks(); }
