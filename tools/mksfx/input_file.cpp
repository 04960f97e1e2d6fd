#include "input_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

bool InputFile::open(const std::string& path, std::string* error) {
  path_ = path;
  in_.open(std::filesystem::u8path(path), std::ios::binary);
  if (!in_) {
    *error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  in_.seekg(0, std::ios::end);
  std::streamoff end = in_.tellg();
  // A directory opens as a stream on some systems but has no size to seek to.
  if (!in_ || end < 0) {
    *error = "cannot read " + path + ": not a regular file";
    return false;
  }
  size_ = static_cast<uint64_t>(end);
  return true;
}

bool InputFile::readAt(uint64_t offset, void* buffer, size_t n) {
  if (offset > size_ || n > size_ - offset) return false;
  in_.clear();
  in_.seekg(static_cast<std::streamoff>(offset), std::ios::beg);
  in_.read(static_cast<char*>(buffer), static_cast<std::streamsize>(n));
  return static_cast<size_t>(in_.gcount()) == n;
}
