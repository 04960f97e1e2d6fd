// Texts drawn and read through the wide-character calls: every text inside the program is
// UTF-8, and names outside the ANSI code page must show as they are. The one place where the
// stub turns UTF-8 into UTF-16 for a window and back.
#include <memory>

#include "app/sfx/sfx_win32.h"
#include "fs/wide_win32.h"

namespace {

// A window made by an ANSI call takes texts in the ANSI code page, whatever call sends them;
// installing its own procedure again through the wide call makes it take UTF-16.
void MakeUnicode(HWND window) {
  if (window && !IsWindowUnicode(window)) {
    SetWindowLongPtrW(window, GWLP_WNDPROC, GetWindowLongPtrW(window, GWLP_WNDPROC));
  }
}

}  // namespace

void SetWindowTextUtf8(HWND window, const char* utf8) {
  MakeUnicode(window);
  SetWindowTextW(window, WideText(utf8).get());
}

void SetControlTextUtf8(HWND dialog, int id, const char* utf8) {
  SetWindowTextUtf8(GetDlgItem(dialog, id), utf8);
}

int GetWindowTextUtf8(HWND window, char* out, int size) {
  if (size <= 0) return 0;
  out[0] = 0;
  MakeUnicode(window);
  const int units = GetWindowTextLengthW(window);
  std::unique_ptr<wchar_t[]> wide(new wchar_t[units + 1]);
  wide[0] = 0;
  GetWindowTextW(window, wide.get(), units + 1);
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide.get(), -1, out, size, nullptr, nullptr);
  if (length <= 0) {
    // Too long for out: as much as fits, on a character's boundary.
    int kept = units;
    while (kept > 0 && WideCharToMultiByte(CP_UTF8, 0, wide.get(), kept, nullptr, 0, nullptr, nullptr) >= size) --kept;
    // Never between the two halves of a surrogate pair.
    if (kept > 0 && wide[kept - 1] >= 0xD800 && wide[kept - 1] <= 0xDBFF) --kept;
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.get(), kept, out, size - 1, nullptr, nullptr);
    out[n > 0 ? n : 0] = 0;
    return n > 0 ? n : 0;
  }
  return length - 1;
}

int GetControlTextUtf8(HWND dialog, int id, char* out, int size) {
  return GetWindowTextUtf8(GetDlgItem(dialog, id), out, size);
}

int MessageBoxUtf8(HWND owner, const char* text, const char* caption, UINT type) {
  return MessageBoxW(owner, WideText(text).get(), WideText(caption).get(), type);
}

void ReplaceSelectionUtf8(HWND edit, const char* utf8) {
  MakeUnicode(edit);
  SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(WideText(utf8).get()));
}

int LoadStringUtf8(HINSTANCE instance, int id, char* out, int size) {
  if (size <= 0) return 0;
  out[0] = 0;
  const wchar_t* text = nullptr;
  // With no buffer the call gives the resource's own text, not terminated.
  const int units = LoadStringW(instance, static_cast<UINT>(id), reinterpret_cast<LPWSTR>(&text), 0);
  if (units <= 0 || !text) return 0;
  int length = WideCharToMultiByte(CP_UTF8, 0, text, units, out, size - 1, nullptr, nullptr);
  if (length <= 0) {
    int kept = units;
    while (kept > 0 && WideCharToMultiByte(CP_UTF8, 0, text, kept, nullptr, 0, nullptr, nullptr) >= size) --kept;
    length = WideCharToMultiByte(CP_UTF8, 0, text, kept, out, size - 1, nullptr, nullptr);
  }
  out[length > 0 ? length : 0] = 0;
  return length > 0 ? length : 0;
}
