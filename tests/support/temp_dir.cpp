#include "temp_dir.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

TempDir::TempDir() {
  char pattern[] = "/tmp/vespa-test-XXXXXX";
  if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Files made read-only by a test must not stop the clean-up.
  for (auto& p : std::filesystem::recursive_directory_iterator(path_, ignored)) {
    chmod(p.path().c_str(), 0700);
  }
  std::filesystem::remove_all(path_, ignored);
}

void TempDir::write(const std::string& name, const std::string& bytes) const {
  std::ofstream out(file(name), std::ios::binary);
  out << bytes;
}

std::string TempDir::read(const std::string& name) const {
  std::ifstream in(file(name), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool TempDir::exists(const std::string& name) const {
  struct stat st;
  return stat(file(name).c_str(), &st) == 0;
}

std::string Backslashed(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}
