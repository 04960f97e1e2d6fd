// Replays saved inputs through a fuzz target without fuzzing: each argument is a file or a
// directory of files, run once each in name order. CI runs the saved corpora and the crashers
// this way, so a fixed defect stays fixed and the run is the same every time.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool IsDirectory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void Collect(const std::string& path, std::vector<std::string>* files) {
  if (!IsDirectory(path)) {
    files->push_back(path);
    return;
  }
  DIR* directory = opendir(path.c_str());
  if (!directory) return;
  std::vector<std::string> names;
  while (dirent* entry = readdir(directory)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(directory);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) Collect(path + "/" + name, files);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    if (!IsDirectory(argv[i]) && !std::ifstream(argv[i])) {
      std::fprintf(stderr, "replay: %s is not there; skipped\n", argv[i]);
      continue;
    }
    Collect(argv[i], &files);
  }
  for (const std::string& file : files) {
    std::ifstream in(file, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  std::printf("replay: %zu inputs\n", files.size());
  return 0;
}
