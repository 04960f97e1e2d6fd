#include "fuzz_support.h"

#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

namespace fuzz {

namespace {

std::string gScratch;

// The targets write plain files only, directly in the scratch directory.
void RemoveScratch() {
  if (gScratch.empty()) return;
  if (DIR* directory = opendir(gScratch.c_str())) {
    while (dirent* entry = readdir(directory)) {
      if (entry->d_name[0] == '.') continue;
      unlink((gScratch + "/" + entry->d_name).c_str());
    }
    closedir(directory);
  }
  rmdir(gScratch.c_str());
}

}  // namespace

const std::string& ScratchDirectory() {
  if (gScratch.empty()) {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/vespa-fuzz-XXXXXX";
    if (!mkdtemp(&pattern[0])) {
      perror("fuzz: mkdtemp");
      abort();
    }
    gScratch = pattern;
    atexit(RemoveScratch);
  }
  return gScratch;
}

std::string WriteScratchFile(const char* name, const uint8_t* data, size_t size) {
  std::string path = ScratchDirectory() + "/" + name;
  FILE* file = fopen(path.c_str(), "wb");
  if (!file || (size && fwrite(data, 1, size, file) != size) || fclose(file) != 0) {
    perror("fuzz: writing the input");
    abort();
  }
  return path;
}

char* NoQuestions::GetPassword(char* buffer, int size) {
  strncpy(buffer, password_, static_cast<size_t>(size) - 1);
  buffer[size - 1] = 0;
  return buffer;
}

}  // namespace fuzz
