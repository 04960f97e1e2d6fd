// vespa-callbacks-probe.exe: puts one question of the stub's user callbacks, with the stub's own
// dialogs and message boxes, so that the Windows tests can answer it through the UI driver and
// check what came back. The answer is written to OUT as text and is also the exit code.
//
//   vespa-callbacks-probe.exe overwrite NAME SIZE DOSDATETIME OUT   AskOverwrite for an entry of
//                                                                   that size and date-time
//   vespa-callbacks-probe.exe password NAME SIZE OUT                AskPassword with a buffer of
//                                                                   SIZE chars, then GetPassword
//   vespa-callbacks-probe.exe disk N OUT                            AskDisk
//   vespa-callbacks-probe.exe lastdisk OUT                          AskLastDisk
//   vespa-callbacks-probe.exe yesno TEXT OUT                        AskYesNo
//   vespa-callbacks-probe.exe titled CAPTION FIRST SECOND OUT       the text viewer with a
//                                                                   titled text
//
// OUT receives "answer A" (a number) and, for the password question, "password P" and
// "stored P" (what a later GetPassword of the same size yields).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/sfx/sfx_win32.h"
#include "report/report.h"
#include "resources/resource_ids.h"
#include "zip/records.h"

namespace {

int Finish(const char* out, int answer, const char* extra) {
  if (FILE* f = std::fopen(out, "wb")) {
    std::fprintf(f, "answer %d\n%s", answer, extra ? extra : "");
    std::fclose(f);
  }
  return answer;
}

// A central-directory entry with the fields the overwrite question reads.
CentralHeader Entry(char* name, uint32_t size, uint32_t dosDateTime) {
  CentralHeader header;
  header.signature = kCentralHeaderSignature;
  header.dosDateTime = dosDateTime;
  header.uncompressedSize = size;
  header.nameLength = static_cast<uint16_t>(std::strlen(name));
  header.name = name;
  return header;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  gStub.instance = instance;
  gStub.icon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_PROGRAM));
  UserCallbacks* callbacks = CreateWin32Callbacks();
  int argc = __argc;
  char** argv = __argv;
  if (argc < 3 || !callbacks) return 100;
  const char* what = argv[1];

  if (std::strcmp(what, "overwrite") == 0 && argc == 6) {
    CentralHeader entry = Entry(argv[2], std::strtoul(argv[3], nullptr, 0),
                                std::strtoul(argv[4], nullptr, 0));
    return Finish(argv[5], callbacks->AskOverwrite(argv[2], &entry), nullptr);
  }
  if (std::strcmp(what, "password") == 0 && argc == 5) {
    int size = std::atoi(argv[3]);
    std::vector<char> buffer(size > 0 ? size : 1, 0);
    std::vector<char> again(size > 0 ? size : 1, 0);
    int answer = callbacks->AskPassword(argv[2], buffer.data(), size);
    callbacks->GetPassword(again.data(), size);
    std::vector<char> extra(2 * buffer.size() + 32);
    std::snprintf(extra.data(), extra.size(), "password %s\nstored %s\n", buffer.data(), again.data());
    return Finish(argv[4], answer, extra.data());
  }
  if (std::strcmp(what, "disk") == 0 && argc == 4) {
    return Finish(argv[3], callbacks->AskDisk(std::atoi(argv[2])), nullptr);
  }
  if (std::strcmp(what, "lastdisk") == 0 && argc == 3) {
    return Finish(argv[2], callbacks->AskLastDisk(), nullptr);
  }
  if (std::strcmp(what, "yesno") == 0 && argc == 4) {
    return Finish(argv[3], callbacks->AskYesNo(argv[2]), nullptr);
  }
  if (std::strcmp(what, "titled") == 0 && argc == 6) {
    TitledText record{argv[2], argv[3], argv[4]};
    return Finish(argv[5], ShowTitledText(nullptr, &record), nullptr);
  }
  return 100;
}
