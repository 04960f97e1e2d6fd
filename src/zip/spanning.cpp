// Spanned sets on removable disks: disk changes and the volume-label check.
#include "report/messages.h"
#include "report/user_callbacks.h"
#include "zip/archive_state.h"

int ArchiveState::probeSpanning() {
  // Not built yet: a set is recognised only from its end record (thisDisk, on a removable
  // drive) while the directory loads; a volume file's spanning marker is not looked for.
  return 0;
}

int ArchiveState::diskNumberFromLabel() {
  char label[kPathSize] = {};
  uint32_t serial = 0;
  if (volumeLabelOf(archivePath, label, nullptr, &serial) != 0) return -1;
  int number = 0;
  const char* p = label;
  for (int i = 0; i < 8; ++i) {
    if (!*p) return 0;
    ++p;
  }
  while (*p == ' ') ++p;
  while (*p >= '0' && *p <= '9') number = number * 10 + (*p++ - '0');
  return number;
}

bool ArchiveState::switchDisk(int disk) {
  for (;;) {
    delete stream;
    stream = nullptr;
    if (!callbacks_ || callbacks_->AskDisk(disk + 1) == kKeyAbort) {
      return fail(Status::Fatal(kFatalAborted));
    }
    if (!reopenArchive()) return false;
    int label = diskNumberFromLabel();
    if (label == disk + 1 || label == -1) break;
  }
  currentDisk = disk;
  return true;
}
