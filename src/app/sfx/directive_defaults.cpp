// The stub's directive state until the record reader joins the build: the defaults of a program
// file that carries no directive record.
#include "app/sfx/directive_defaults.h"

#include <cstring>

#include "app/app.h"
#include "zip/archive_state.h"

uint16_t gDirectiveFlags = 0;

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

void LoadSetupDirectives(const char* programPath) {
  (void)programPath;
  gDirectiveFlags = 0;
  gDefaultDestination[0] = gProgramGroups[0] = gExtensions[0] = 0;
}

void SplitDirectiveLists() {
  SplitAtBars(gExtensions);
  SplitAtBars(gProgramGroups);
}

const char* DefaultDestination() { return FieldOrNull(gDefaultDestination); }
const char* ProgramGroupText() { return FieldOrNull(gProgramGroups); }
const char* ExtensionText() { return FieldOrNull(gExtensions); }
const char* ExtensionDisplayList() { return FieldOrNull(gExtensions); }

bool ArchiveHasDirectories() {
  ArchiveState* archive = gArchiveState;
  if (!archive || !archive->entries()) return false;
  CentralHeader** entries = archive->entries();
  for (uint32_t i = 0; i < archive->entryCount; ++i) {
    const CentralHeader* entry = entries[i];
    if (std::memchr(entry->name(), '/', entry->nameLength())) return true;
  }
  return false;
}

// Without a directive record both lists are empty and their check boxes stay disabled: there
// is no group to create and no extension to register.
void CreateProgramGroups(const char* destination) { (void)destination; }
void RegisterExtensions(const char* destination) { (void)destination; }
