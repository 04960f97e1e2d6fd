#include "app/destination.h"

#include <cstring>

#include "fs/fs.h"

void TrimDestination(char* path) {
  size_t length = std::strlen(path);
  if (length > 1 && path[length - 1] == '\\' && path[length - 2] != ':') path[length - 1] = 0;
}

int CreateDestination(char* path) {
  size_t length = std::strlen(path);
  bool droppedSeparator = length > 0 && path[length - 1] == '\\';
  if (droppedSeparator) path[length - 1] = 0;

  makeDirectory(path, nullptr);
  // Each directory on the way, from the root down: the root itself and a drive's root are
  // never made.
  for (size_t i = 0; path[i]; ++i) {
    if (path[i] != '\\' || i == 0 || path[i - 1] == ':') continue;
    path[i] = 0;
    makeDirectory(path, nullptr);
    if (setCurrentDir(path) != 0 && makeDirectory(path, nullptr) != 0) return 0;
    path[i] = '\\';
  }
  makeDirectory(path, nullptr);
  int created = setCurrentDir(path) == 0 ? 1 : 0;
  if (droppedSeparator) path[length - 1] = '\\';
  return created;
}
