#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "file_stamp.h"

namespace {
// Seconds from 1601-01-01 to 1970-01-01.
constexpr int64_t kEpochOffset = 11644473600LL;
}  // namespace

std::string StampOf(const std::filesystem::path& path, FileStamp* stamp) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return std::strerror(errno);
  int64_t seconds = static_cast<int64_t>(st.st_mtim.tv_sec) + kEpochOffset;
  stamp->lastWrite = seconds < 0 ? 0
                                 : static_cast<uint64_t>(seconds) * 10000000u +
                                       static_cast<uint64_t>(st.st_mtim.tv_nsec) / 100;
  // As the engine reads it back on Linux: read-only is a file its owner may not write.
  stamp->readOnly = (st.st_mode & S_IWUSR) == 0;
  return "";
}
