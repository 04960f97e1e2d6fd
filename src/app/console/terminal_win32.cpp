// The Windows console: texts drawn through the wide-character console calls, so that every
// name shows as it is whatever the console's code page; output sent to a file or a pipe is
// UTF-8, the one encoding that holds every name (a code page would turn names outside it into
// '?', and the tools that read our output take UTF-8). A password read with echo switched off.
#include <windows.h>

#include <shellapi.h>

#include "app/console/terminal.h"

namespace {

std::string Utf8Of(const wchar_t* wide) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(size > 0 ? size - 1 : 0), '\0');
  if (size > 1) WideCharToMultiByte(CP_UTF8, 0, wide, -1, &utf8[0], size, nullptr, nullptr);
  return utf8;
}

}  // namespace

void TerminalInit() {
  SetConsoleOutputCP(CP_UTF8);
  SetConsoleCP(CP_UTF8);
}

std::string TerminalArgument(const char* argument) { return argument; }

std::vector<std::string> TerminalArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(Utf8Of(wide[i]));
  LocalFree(wide);
  return arguments;
}

void TerminalPut(std::FILE* out, const char* text, size_t length) {
  HANDLE handle = GetStdHandle(out == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (length == 0 || !GetConsoleMode(handle, &mode)) {
    std::fwrite(text, 1, length, out);
    return;
  }
  std::fflush(out);
  const int units = MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0);
  std::wstring wide(static_cast<size_t>(units), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(length), &wide[0], units);
  DWORD written = 0;
  WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
}

bool TerminalCanAsk() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

bool TerminalShowsOutput() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

bool TerminalWithoutEcho(const std::function<void()>& read) {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD saved = 0;
  if (!GetConsoleMode(input, &saved) ||
      !SetConsoleMode(input, saved & ~static_cast<DWORD>(ENABLE_ECHO_INPUT))) {
    return false;
  }
  read();
  SetConsoleMode(input, saved);
  return true;
}
