#include <windows.h>

#include <string>

#include "output_file.h"

namespace {

std::string LastError() {
  DWORD code = GetLastError();
  char text[256] = "";
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           code, 0, text, sizeof text, nullptr);
  while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == '.')) text[--n] = 0;
  return n ? std::string(text) : "error " + std::to_string(code);
}

HANDLE Handle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

// Paths are UTF-8 inside the builder; Windows takes them in UTF-16.
std::wstring Wide(const std::string& utf8) {
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], n);
  return wide;
}

}  // namespace

OutputFile::~OutputFile() { discard(); }

void OutputFile::discard() {
  if (handle_ != -1) CloseHandle(Handle(handle_));
  handle_ = -1;
  if (!temporary_.empty()) DeleteFileW(Wide(temporary_).c_str());
  temporary_.clear();
}

bool OutputFile::create(const std::string& destination, std::string* error) {
  destination_ = destination;
  // CREATE_NEW: never write into a file someone else made under the same name.
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = destination + ".tmp-" + std::to_string(GetCurrentProcessId()) + "-" +
                       std::to_string(attempt);
    HANDLE h = CreateFileW(Wide(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      handle_ = reinterpret_cast<intptr_t>(h);
      temporary_ = name;
      return true;
    }
    if (GetLastError() != ERROR_FILE_EXISTS) {
      *error = "cannot create " + name + ": " + LastError();
      return false;
    }
  }
  *error = "cannot create a temporary file beside " + destination;
  return false;
}

bool OutputFile::write(const void* data, size_t size, std::string* error) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(Handle(handle_), p, chunk, &written, nullptr) || written == 0) {
      *error = "cannot write " + temporary_ + ": " + LastError();
      return false;
    }
    p += written;
    size -= written;
  }
  return true;
}

bool OutputFile::patch(uint64_t offset, const void* data, size_t size, std::string* error) {
  LARGE_INTEGER end{}, zero{}, at{};
  at.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(Handle(handle_), zero, &end, FILE_CURRENT) ||
      !SetFilePointerEx(Handle(handle_), at, nullptr, FILE_BEGIN)) {
    *error = "cannot write " + temporary_ + ": " + LastError();
    return false;
  }
  const bool written = write(data, size, error);
  // Back to the end, for the writes that follow.
  if (!SetFilePointerEx(Handle(handle_), end, nullptr, FILE_BEGIN) && written) {
    *error = "cannot write " + temporary_ + ": " + LastError();
    return false;
  }
  return written;
}

bool OutputFile::finish(std::string* error) {
  if (handle_ == -1) return true;
  HANDLE h = Handle(handle_);
  handle_ = -1;
  bool flushed = FlushFileBuffers(h) != 0;
  if (!CloseHandle(h) || !flushed) {
    *error = "cannot write " + temporary_ + ": " + LastError();
    return false;
  }
  return true;
}

bool OutputFile::commit(std::string* error) {
  if (!finish(error)) return false;
  if (!MoveFileExW(Wide(temporary_).c_str(), Wide(destination_).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    *error = "cannot replace " + destination_ + ": " + LastError();
    return false;
  }
  temporary_.clear();
  return true;
}

std::string ProgramPath(const char* argv0) {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return argv0 ? argv0 : "";
  int size = WideCharToMultiByte(CP_UTF8, 0, path, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(size), 0);
  WideCharToMultiByte(CP_UTF8, 0, path, static_cast<int>(n), &utf8[0], size, nullptr, nullptr);
  return utf8;
}
