// The option parser on argument vectors and list files. The input is the argument words, each
// ended by a NUL, then an empty word, then the content of the list file "L" in the working
// directory, which the words can name ("@L", "-INCLUDE=@L", "-EXCLUDE=@L"), as can its own lines.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "options/parser.h"

namespace {

bool EnterScratchDirectory() {
  if (chdir(fuzz::ScratchDirectory().c_str()) != 0) std::abort();
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool entered = EnterScratchDirectory();
  (void)entered;

  std::vector<std::string> words;
  size_t position = 0;
  while (position < size) {
    const void* end = std::memchr(data + position, 0, size - position);
    size_t length = end ? static_cast<const uint8_t*>(end) - (data + position) : size - position;
    if (length == 0) {
      ++position;  // the empty word: the list file follows
      break;
    }
    words.emplace_back(reinterpret_cast<const char*>(data + position), length);
    position += length + 1;
  }
  if (position > size) position = size;  // the last word ran to the end: no list file
  fuzz::WriteScratchFile("L", data + position, size - position);

  std::vector<char*> vector;
  for (std::string& word : words) vector.push_back(&word[0]);
  vector.push_back(nullptr);
  CommandLine line;
  Status status = ParseArguments(vector.data(), &line);
  char text[1024];
  status.messageText(text, sizeof text);  // every refusal must have a printable message
  return 0;
}
