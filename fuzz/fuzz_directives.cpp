// The directive loader over arbitrary program files, and what an extraction then does with the
// loaded record: the dialog's extension list, the group commands with "%0" replaced, and the
// registration of every extension pair, both over stand-ins that keep nothing and fail when the
// input says so.
//
// The first byte picks the form of the rest. Even: the rest is the program file as it stands.
// Odd: the rest is a plain record (the length word, then the body), which the target scrambles
// into a program file at an offset picked from the first byte; mutations then reach the checks
// of the body instead of its scrambling.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "shell/extensions.h"
#include "shell/program_groups.h"
#include "shell/setup_directives.h"
#include "zip/byte_reader.h"

namespace {

// A program file holding the plain record at a multiple of 12 bytes, scrambled as stored: the
// length word with the header's offset as key, the body with the header's offset + 4.
std::vector<uint8_t> ProgramWithRecord(uint8_t form, const uint8_t* plain, size_t size) {
  const size_t header = kDirectiveAlignmentBytes * (1 + (form >> 1));
  std::vector<uint8_t> file(header + kDirectiveHeaderBodyLength, 'M');
  putLe32(&file[header + kDirectiveHeaderSignature], kDirectiveSignature);
  putLe32(&file[header + kDirectiveHeaderVersion], kDirectiveVersionWord);
  const size_t lengthAt = file.size();
  file.insert(file.end(), plain, plain + size);
  if (size < 4) file.resize(lengthAt + 4);  // a short length word, zero-filled
  uint8_t* const length = file.data() + lengthAt;
  DescrambleBytes(length, 4, static_cast<uint32_t>(header));
  DescrambleBytes(length + 4, file.size() - lengthAt - 4, static_cast<uint32_t>(header + kDirectiveBodyKeyOffset));
  return file;
}

class NoProgramManager : public DdeChannel {
 public:
  explicit NoProgramManager(uint8_t failures) : failures_(failures) {}
  void pumpMessages() override {}
  bool execute(const char* command, uint32_t) override {
    volatile size_t length = std::strlen(command);  // the command must be a whole text
    (void)length;
    error_ = (failures_ >> (sent_++ & 7)) & 1 ? kDdeErrorBusy : 0;
    return error_ == 0;
  }
  int lastError() override { return error_; }

 private:
  uint8_t failures_;
  unsigned sent_ = 0;
  int error_ = 0;
};

class NoRegistry : public ExtensionRegistry {
 public:
  explicit NoRegistry(uint8_t failures) : failures_(failures) {}
  int deleteKeyTree(const char* name) override { return touch(name) ? 0 : kErrorBadKey; }
  Key createKey(Key, const char* name) override { return touch(name) ? 1 : 0; }
  bool setDefaultValue(Key, const char* value) override { return touch(value); }
  void closeKey(Key) override {}
  bool writeProfileString(const char* section, const char* entry, const char* value) override {
    return touch(section) && touch(entry) && (!value || touch(value));
  }
  void broadcastIniChange() override {}
  bool fileTitle(const char* path, char* out, uint16_t size) override {
    if (!touch(path) || size == 0) return false;
    std::strncpy(out, path, size - 1);
    out[size - 1] = 0;
    return true;
  }

 private:
  // Reads the text whole, and fails the call when the input's failure bits say so.
  bool touch(const char* text) {
    volatile size_t length = std::strlen(text);
    (void)length;
    return !((failures_ >> (calls_++ & 7)) & 1);
  }
  uint8_t failures_;
  unsigned calls_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t form = data[0];
  const uint8_t failures = data[1];
  std::string path;
  if (form & 1) {
    std::vector<uint8_t> file = ProgramWithRecord(form, data + 2, size - 2);
    path = fuzz::WriteScratchFile("setup.exe", file.data(), file.size());
  } else {
    path = fuzz::WriteScratchFile("setup.exe", data + 2, size - 2);
  }

  fuzz::SilentFrontEnd front;
  Reporter reporter(front);
  SetupDirectives directives;
  if (!ReadSetupDirectives(directives, path.c_str(), reporter).ok()) return 0;
  SplitAtBars(directives);
  ExtensionDisplayList(directives);
  const char* destination = directives.defaultDestination() ? directives.defaultDestination() : "C:\\Destino";
  NoProgramManager channel(failures);
  SendGroupCommands(directives, channel, destination, reporter);
  NoRegistry registry(static_cast<uint8_t>(failures >> 4));
  RegisterExtensions(directives, destination, registry, reporter);
  return 0;
}
