// Not built yet: the directive record reader. Until it is, the stub's directive state is that of
// a program file without a record.
#include "app/sfx/directive_defaults.h"

#include <cstring>

#include "zip/archive_state.h"

namespace {
// The text fields of the record, zero-filled as in a program file without one.
char gDefaultDestination[261];
char gProgramGroups[1041];
char gExtensions[261];

const char* FieldOrNull(const char* field) { return field[0] ? field : nullptr; }

void SplitAtBars(char* field) {
  for (char* p = field; *p; ++p) {
    if (*p == '|') *p = 0;
  }
}
}  // namespace

uint16_t LoadSetupDirectives(const char* programPath) {
  (void)programPath;
  gDefaultDestination[0] = gProgramGroups[0] = gExtensions[0] = 0;
  return 0;
}

void SplitDirectiveLists() {
  SplitAtBars(gExtensions);
  SplitAtBars(gProgramGroups);
}

const char* DefaultDestination() { return FieldOrNull(gDefaultDestination); }
const char* ProgramGroupText() { return FieldOrNull(gProgramGroups); }
const char* ExtensionText() { return FieldOrNull(gExtensions); }
const char* ExtensionDisplayList() { return FieldOrNull(gExtensions); }

bool ArchiveHasDirectories(const ArchiveState& archive) {
  const CentralHeader* entries = archive.entries();
  if (!entries) return false;
  for (uint32_t i = 0; i < archive.entryCount; ++i) {
    if (std::memchr(entries[i].name, '/', entries[i].nameLength)) return true;
  }
  return false;
}

void CreateProgramGroups(const char* destination) { (void)destination; }
void RegisterExtensions(const char* destination) { (void)destination; }
