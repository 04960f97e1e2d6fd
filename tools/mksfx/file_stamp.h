// What the builder takes from the file system beside names and contents, the platform's half:
// the last-write time at full precision and the read-only attribute.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

struct FileStamp {
  uint64_t lastWrite = 0;  // 100-ns units since 1601-01-01 UTC, as an NTFS time
  bool readOnly = false;
};

// Follows a symbolic link. Returns "" or the system's reason.
std::string StampOf(const std::filesystem::path& path, FileStamp* stamp);
