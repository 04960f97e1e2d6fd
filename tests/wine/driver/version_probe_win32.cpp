// vespa-versionprobe.exe PROGRAM: what Windows itself reads of a program file's version
// information and icon, one line each, in UTF-8:
//   fixed FILE PRODUCT             the numbers of the fixed part, A.B.C.D each
//   translation LLLL CCCC          the first language and code page of VarFileInfo\Translation
//   string NAME VALUE              each string of that block that is there
//   icon SIZE WIDTH HEIGHT RRGGBB  icon 3 loaded at SIZE pixels: the image chosen and its centre
// Exit code 1 when the file has no version information or no icon 3.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

void Print(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(n > 0 ? n : 1, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &utf8[0], n, nullptr, nullptr);
  std::fputs(utf8.c_str(), stdout);
  std::fputs("\n", stdout);
}

std::wstring Number(DWORD ms, DWORD ls) {
  wchar_t buffer[64];
  swprintf(buffer, 64, L"%u.%u.%u.%u", HIWORD(ms), LOWORD(ms), HIWORD(ls), LOWORD(ls));
  return buffer;
}

bool Version(const wchar_t* path) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  if (size == 0) return false;
  std::vector<BYTE> data(size);
  if (!GetFileVersionInfoW(path, 0, size, data.data())) return false;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length)) return false;
  Print(L"fixed " + Number(fixed->dwFileVersionMS, fixed->dwFileVersionLS) + L" " +
        Number(fixed->dwProductVersionMS, fixed->dwProductVersionLS));
  WORD* translation = nullptr;
  if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translation), &length) || length < 4) {
    return false;
  }
  wchar_t block[64];
  swprintf(block, 64, L"%04X%04X", translation[0], translation[1]);
  Print(std::wstring(L"translation ") + std::wstring(block, 4) + L" " + std::wstring(block + 4));
  const wchar_t* names[] = {L"CompanyName", L"FileDescription", L"FileVersion",
                            L"LegalCopyright", L"OriginalFilename", L"ProductName",
                            L"ProductVersion"};
  for (const wchar_t* name : names) {
    std::wstring query = std::wstring(L"\\StringFileInfo\\") + block + L"\\" + name;
    wchar_t* value = nullptr;
    if (VerQueryValueW(data.data(), query.c_str(), reinterpret_cast<void**>(&value), &length)) {
      Print(std::wstring(L"string ") + name + L" " + value);
    }
  }
  return true;
}

bool Icons(const wchar_t* path) {
  HMODULE module = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!module) return false;
  bool all = true;
  for (int size : {16, 32, 48, 256}) {
    HICON icon = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(3), IMAGE_ICON, size, size, 0));
    ICONINFO info = {};
    BITMAP bitmap = {};
    if (!icon || !GetIconInfo(icon, &info) || !GetObjectW(info.hbmColor, sizeof bitmap, &bitmap)) {
      all = false;
      continue;
    }
    // The centre pixel as drawn on a white ground.
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP canvas = CreateCompatibleBitmap(screen, size, size);
    HGDIOBJ old = SelectObject(dc, canvas);
    RECT all_area = {0, 0, size, size};
    FillRect(dc, &all_area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    COLORREF c = GetPixel(dc, size / 2, size / 2);
    SelectObject(dc, old);
    DeleteObject(canvas);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    wchar_t line[96];
    swprintf(line, 96, L"icon %d %ld %ld %02X%02X%02X", size, bitmap.bmWidth, bitmap.bmHeight,
             GetRValue(c), GetGValue(c), GetBValue(c));
    Print(line);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
  }
  FreeLibrary(module);
  return all;
}

}  // namespace

int main() {
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!argv || count != 2) {
    std::fputs("usage: vespa-versionprobe PROGRAM\n", stderr);
    return 2;
  }
  bool version = Version(argv[1]);
  bool icons = Icons(argv[1]);
  std::fflush(stdout);
  return version && icons ? 0 : 1;
}
