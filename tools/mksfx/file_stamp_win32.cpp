#include <windows.h>

#include "file_stamp.h"

std::string StampOf(const std::filesystem::path& path, FileStamp* stamp) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
    return "error " + std::to_string(GetLastError());
  }
  stamp->lastWrite = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                     data.ftLastWriteTime.dwLowDateTime;
  stamp->readOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
  return "";
}
