#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "output_file.h"

OutputFile::~OutputFile() { discard(); }

void OutputFile::discard() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
  handle_ = -1;
  if (!temporary_.empty()) unlink(temporary_.c_str());
  temporary_.clear();
}

bool OutputFile::create(const std::string& destination, std::string* error) {
  destination_ = destination;
  // O_EXCL: never write into a file someone else made under the same name.
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = destination + ".tmp-" + std::to_string(getpid()) + "-" +
                       std::to_string(attempt);
    int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      handle_ = fd;
      temporary_ = name;
      return true;
    }
    if (errno != EEXIST) {
      *error = "cannot create " + name + ": " + std::strerror(errno);
      return false;
    }
  }
  *error = "cannot create a temporary file beside " + destination;
  return false;
}

bool OutputFile::write(const void* data, size_t size, std::string* error) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::write(static_cast<int>(handle_), p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *error = "cannot write " + temporary_ + ": " + std::strerror(n < 0 ? errno : ENOSPC);
      return false;
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool OutputFile::patch(uint64_t offset, const void* data, size_t size, std::string* error) {
  // pwrite leaves the file offset alone: later writes still append.
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::pwrite(static_cast<int>(handle_), p, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *error = "cannot write " + temporary_ + ": " + std::strerror(n < 0 ? errno : ENOSPC);
      return false;
    }
    p += n;
    offset += static_cast<uint64_t>(n);
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool OutputFile::finish(std::string* error) {
  if (handle_ < 0) return true;
  int fd = static_cast<int>(handle_);
  handle_ = -1;
  // A full disk may only show when the data reaches it.
  if (fsync(fd) != 0 && errno != EINVAL) {
    *error = "cannot write " + temporary_ + ": " + std::strerror(errno);
    close(fd);
    return false;
  }
  if (close(fd) != 0) {
    *error = "cannot write " + temporary_ + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool OutputFile::commit(std::string* error) {
  if (!finish(error)) return false;
  if (std::rename(temporary_.c_str(), destination_.c_str()) != 0) {
    *error = "cannot replace " + destination_ + ": " + std::strerror(errno);
    return false;
  }
  temporary_.clear();
  return true;
}

std::string ProgramPath(const char* argv0) {
  char link[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", link, sizeof link - 1);
  if (n > 0) return std::string(link, static_cast<size_t>(n));
  return argv0 ? argv0 : "";
}
