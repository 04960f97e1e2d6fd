#include "app/dialog_run.h"

#include <cstring>

#include "app/directive_flags.h"
#include "extract/decrypt.h"
#include "options/parser.h"
#include "options/run_options.h"

namespace {

constexpr char kPasswordOption[] = "-PASSWORD=";
// A control character: no password typed in a dialog contains one.
constexpr char kPasswordPlaceholder = '\x01';

char gDirectoriesWord[] = "-DIRECTORIES";
char gTestWord[] = "-TEST";
char gExtractWord[] = "-EXTRACT";
char gOverwriteWord[] = "-OVERWRITE";
char gOverwriteNeverWord[] = "-OVERWRITE=NEVER";
char gPasswordWord[sizeof kPasswordOption + kPasswordSize];
char* gArgumentVector[6];

void FillPasswordWord() {
  std::memset(gPasswordWord, 0, sizeof gPasswordWord);
  std::memcpy(gPasswordWord, kPasswordOption, sizeof kPasswordOption - 1);
  char* value = gPasswordWord + sizeof kPasswordOption - 1;
  if (storedPassword[0]) {
    std::strncpy(value, storedPassword, kPasswordSize - 1);
  } else {
    value[0] = kPasswordPlaceholder;
  }
}

}  // namespace

char** BuildArgumentVector(uint16_t directiveFlags, bool test) {
  int n = 0;
  if (directiveFlags & kDirectiveRecreateDirectories) gArgumentVector[n++] = gDirectoriesWord;
  if (test) {
    gArgumentVector[n++] = gTestWord;
  } else {
    gArgumentVector[n++] = gExtractWord;
    if (directiveFlags & kDirectiveOverwriteAlways) {
      gArgumentVector[n++] = gOverwriteWord;
    } else if (directiveFlags & kDirectiveOverwriteNever) {
      gArgumentVector[n++] = gOverwriteNeverWord;
    }
  }
  FillPasswordWord();
  gArgumentVector[n++] = gPasswordWord;
  gArgumentVector[n] = nullptr;
  return gArgumentVector;
}

void ParseDialogRun(uint16_t directiveFlags, bool test) {
  char** words = BuildArgumentVector(directiveFlags, test);
  ResetOptions(&gRunOptions);
  ProcessArguments(words);
}
