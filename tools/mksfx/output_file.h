// The platform side of the builder: an output written under a temporary name beside its
// destination and renamed onto it only when complete, and where the running program lives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class OutputFile {
 public:
  OutputFile() = default;
  // Removes the temporary file unless it was committed: a failed build leaves nothing behind.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates a new file, never an existing one, in the destination's directory.
  bool create(const std::string& destination, std::string* error);
  bool write(const void* data, size_t size, std::string* error);
  // Writes over bytes already written at offset (from the start of the file), and goes on
  // writing at the end: a header whose figures are known only after its data.
  bool patch(uint64_t offset, const void* data, size_t size, std::string* error);
  // Flushes and closes the file, still under its temporary name, so that it can be read back.
  bool finish(std::string* error);
  // Finishes the file if need be and puts it in the destination's place, replacing what was
  // there.
  bool commit(std::string* error);
  const std::string& temporaryPath() const { return temporary_; }

 private:
  void discard();
  std::string destination_;
  std::string temporary_;
  intptr_t handle_ = -1;
};

// The running program's own file, for finding what a build tree or an installation keeps beside
// it; argv0 when the system cannot say. UTF-8.
std::string ProgramPath(const char* argv0);
