// Random-access reads of the archive the builder is given. Positions are 64-bit: the input may
// be larger than the 4 GiB the output can hold, and the builder must be able to say so.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

class InputFile {
 public:
  bool open(const std::string& path, std::string* error);
  uint64_t size() const { return size_; }
  const std::string& path() const { return path_; }
  // Exactly n bytes at offset, or false (a short file or a read error).
  bool readAt(uint64_t offset, void* buffer, size_t n);

 private:
  std::ifstream in_;
  std::string path_;
  uint64_t size_ = 0;
};
