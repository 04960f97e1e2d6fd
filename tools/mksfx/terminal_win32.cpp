#include <windows.h>

#include <io.h>
#include <shellapi.h>

#include "terminal.h"

// The progress bar clears its line with an escape sequence: a console that cannot take them
// (before Windows 10) counts as no terminal, and gets no bar.
bool IsTerminal(std::FILE* stream) {
  if (!_isatty(_fileno(stream))) return false;
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  if (!GetConsoleMode(handle, &mode)) return false;
  return SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

bool ReadHiddenLine(const char* prompt, std::string* line) {
  HANDLE input = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
  if (input == INVALID_HANDLE_VALUE) return false;
  DWORD mode = 0;
  bool console = GetConsoleMode(input, &mode) != 0;
  if (console) SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  std::fputs(prompt, stderr);
  std::fflush(stderr);
  wchar_t buffer[256];
  DWORD count = 0;
  bool ok = console && ReadConsoleW(input, buffer, 255, &count, nullptr) && count > 0;
  if (console) SetConsoleMode(input, mode);
  CloseHandle(input);
  std::fputs("\n", stderr);
  if (!ok) return false;
  while (count > 0 && (buffer[count - 1] == L'\n' || buffer[count - 1] == L'\r')) --count;
  int size = WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(count), nullptr, 0, nullptr, nullptr);
  line->assign(static_cast<size_t>(size), 0);
  WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(count), &(*line)[0], size, nullptr, nullptr);
  return true;
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return std::vector<std::string>(argv + 1, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) {
    int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size > 0 ? size - 1 : 0), 0);
    if (size > 1) WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, &utf8[0], size, nullptr, nullptr);
    arguments.push_back(utf8);
  }
  LocalFree(wide);
  return arguments;
}
