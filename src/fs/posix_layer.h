// What the two halves of the POSIX file layer (fs_posix.cpp, search_posix.cpp) share: the
// Win32 error value, path conversion between 1252 and the system's UTF-8, file facts, and the
// notice of names this layer adds to or removes from a directory.
#pragma once

#include <sys/stat.h>

#include <ctime>
#include <string>

#include "fs/fs.h"

namespace posix_layer {

constexpr int kErrorInvalidHandle = 6;

// Records a Win32 error for lastError(); returns 1, the failure result.
int Fail(int win32Error);
// The same for an errno value; osPath tells a missing file (2) from a missing directory (3).
int FailErrno(int error, const std::string& osPath = std::string());

// A path as the system takes it: '/' separators.
std::string OsPath(const char* path);
// A name or path from the system as callers take it: '_' for a backslash.
std::string EnginePath(const std::string& os);

// What a directory entry or an open file tells about itself.
struct Meta {
  mode_t mode = 0;
  uint64_t size = 0;
  FileTime creation{}, lastAccess{}, lastWrite{};
};

// statx/fstatat of path relative to directory (flags as theirs); false with errno set.
bool Inspect(int directory, const char* path, int flags, Meta* meta);
uint32_t AttributesOf(mode_t mode);

struct DirectoryId {
  dev_t device;
  ino_t inode;
  bool operator<(const DirectoryId& other) const {
    return device != other.device ? device < other.device : inode < other.inode;
  }
  bool operator!=(const DirectoryId& other) const {
    return device != other.device || inode != other.inode;
  }
};

// Made just before this layer adds or removes the name osPath; added() or removed() after it
// succeeded keeps the directory listing kept for lookups (search_posix.cpp) current.
class ListingChange {
 public:
  explicit ListingChange(std::string osPath);
  void added() { apply(true); }
  void removed() { apply(false); }

 private:
  void apply(bool add);

  std::string directory_;
  std::string osName_;
  DirectoryId id_{};
  bool current_ = false;
};

}  // namespace posix_layer
