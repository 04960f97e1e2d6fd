// Spanned sets on removable disks: disk changes and the volume-label check.
#include <cctype>

#include "report/report.h"
#include "report/user_callbacks.h"
#include "zip/archive_state.h"

int ArchiveState::probeSpanning() {
  // A set is recognised from its end record (thisDisk, on a removable drive) while the directory
  // loads; reading a volume file's spanning marker ahead of the end-record search is not done.
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

void ArchiveState::switchDisk(int disk) {
  do {
    delete stream;
    stream = nullptr;
    if (!gCallbacks || gCallbacks->AskDisk(disk + 1) == kKeyAbort) ReportFatal(19, nullptr);
    reopenArchive();
    int label = diskNumberFromLabel();
    if (label == disk + 1 || label == -1) break;
  } while (true);
  currentDisk = disk;
}
