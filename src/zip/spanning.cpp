// Spanned sets on removable disks: recognising a volume of a set, asking for disks, checking
// by its volume label that the right disk is in the drive.
#include <cstring>
#include <new>

#include "report/messages.h"
#include "zip/read_ahead.h"
#include "report/user_callbacks.h"
#include "zip/archive_state.h"

namespace {

// Where a set's volume file carries the spanning marker: at its start; in an executable volume
// (a first disk that starts with a program) in the reserved words of its DOS header, or at the
// start of what follows a program of this size.
constexpr uint32_t kProbeSize = 36;
constexpr uint32_t kExecutableMarkerOffset = 32;
constexpr uint32_t kExecutableVolumeOffset = 87552;
// A volume label names its disk by the number written from its ninth character on.
constexpr int kLabelNumberStart = 8;

bool ReadAt(FileHandle handle, uint64_t offset, uint8_t* buffer, uint32_t count) {
  uint64_t position = 0;
  uint32_t got = 0;
  return seekFile(handle, static_cast<int64_t>(offset), &position, kSeekStart) == 0 &&
         position == offset && readFile(handle, buffer, count, &got) == 0 && got == count;
}

// The end record nearest the end of the file, searched as the directory loader searches it:
// true with its thisDisk field, false when there is none.
bool FindEndRecordDisk(FileHandle handle, uint16_t* thisDisk) {
  uint64_t size = 0;
  if (seekFile(handle, 0, &size, kSeekEnd) != 0 || size < kEndRecordSize) return false;
  uint8_t buffer[kEndSearchWindow];
  uint32_t window = size < kEndSearchWindow ? static_cast<uint32_t>(size) : kEndSearchWindow;
  uint64_t start = size - window;
  const uint32_t signature = EndRecordSignature();
  for (;;) {
    if (!ReadAt(handle, start, buffer, window)) return false;
    for (uint32_t pos = window - kEndRecordSize + 1; pos-- > 0;) {
      if (le32(buffer + pos) == signature) {
        *thisDisk = ParseEndRecord(ByteReader(buffer + pos, kEndRecordSize)).thisDisk;
        return true;
      }
    }
    if (start == 0) return false;
    if (start > kEndSearchStep) {
      start -= kEndSearchStep;
    } else {
      window = static_cast<uint32_t>(start) + kEndRecordSize;
      start = 0;
    }
  }
}

int ProbeVolume(FileHandle handle) {
  uint8_t head[kProbeSize];
  if (ReadAt(handle, 0, head, sizeof head)) {
    if (le32(head) == kSpanningMarker) return 1;
    if (head[0] == 'M' && head[1] == 'Z') {
      if (le32(head + kExecutableMarkerOffset) == kSpanningMarker) return 1;
      uint8_t after[kProbeSize];
      if (ReadAt(handle, kExecutableVolumeOffset, after, sizeof after) &&
          le32(after) == kSpanningMarker) {
        return 1;
      }
    }
  }
  uint16_t thisDisk = 0;
  if (FindEndRecordDisk(handle, &thisDisk) && thisDisk != 0) return 2;
  return 0;
}

bool HoldsEndRecord(const char* path) {
  FileHandle handle = createFile(path, kGenericRead, kShareRead, kOpenExisting, kAttrNormal);
  if (handle == kInvalidHandle) return false;
  uint16_t thisDisk = 0;
  bool found = FindEndRecordDisk(handle, &thisDisk);
  closeFile(handle);
  return found;
}

int DiskNumberInLabel(const char* label) {
  if (std::strlen(label) <= static_cast<size_t>(kLabelNumberStart)) return 0;
  const char* p = label + kLabelNumberStart;
  while (*p == ' ') ++p;
  int number = 0;
  // A label holds at most a few digits; more could not name a disk of a set anyway.
  while (*p >= '0' && *p <= '9' && number < 100000) number = number * 10 + (*p++ - '0');
  return number;
}

bool NoDiskThere(int error) {
  return error == kErrorFileNotFound || error == kErrorPathNotFound || error == kErrorNotReady;
}

}  // namespace

int ArchiveState::queryDriveType() {
  return drive_ ? drive_->driveType(fullPath) : driveTypeOf(fullPath);
}

int ArchiveState::probeSpanning() {
  if (driveType != kDriveRemovable) return 0;
  FileHandle handle = createFile(archivePath, kGenericRead, kShareRead, kOpenExisting, kAttrNormal);
  if (handle == kInvalidHandle) return 0;
  int answer = ProbeVolume(handle);
  closeFile(handle);
  return answer;
}

int ArchiveState::diskNumberFromLabel() {
  char label[kPathSize] = {};
  uint32_t serial = 0;
  int unreadable = drive_ ? drive_->volumeLabel(fullPath, label)
                          : volumeLabelOf(fullPath, label, nullptr, &serial);
  if (unreadable) return -1;
  label[kPathSize - 1] = '\0';
  return DiskNumberInLabel(label);
}

bool ArchiveState::reopenOnInsertedDisk(bool* inserted) {
  delete stream;
  stream = new (std::nothrow) ReadAheadStream(archivePath);
  if (!stream) return fail(Status::Fatal(kFatalNoMemory));
  *inserted = true;
  if (stream->isOpen()) {
    archiveSize = stream->seek(0, kSeekEnd);
    stream->seek(0, kSeekStart);
    return true;
  }
  int error = lastError();
  delete stream;
  stream = nullptr;
  if (NoDiskThere(error)) {
    *inserted = false;
    return false;
  }
  return failOpen(error);
}

bool ArchiveState::startSpannedSet(int probe) {
  delete stream;
  stream = nullptr;
  spanned = 1;
  if (probe == 2) return reopenArchive();
  for (;;) {
    if (!callbacks_ || callbacks_->AskLastDisk() == kKeyAbort) {
      return fail(Status::Fatal(kFatalAborted));
    }
    bool inserted = false;
    if (reopenOnInsertedDisk(&inserted)) {
      // The last disk is the one whose file ends with the end record: another disk of the set
      // is asked for again, not searched.
      if (HoldsEndRecord(archivePath)) return true;
    } else if (inserted) {
      return false;
    }
  }
}

bool ArchiveState::lastDiskReached() const {
  return hasEndRecord_ && currentDisk >= endRecord_.thisDisk;
}

bool ArchiveState::switchDisk(int disk) {
  if (failed()) return false;
  // No disk follows the one that holds the end record.
  if (hasEndRecord_ && disk > endRecord_.thisDisk) return fail(Status::ArchiveError(kArchiveEndedEarly));
  for (;;) {
    delete stream;
    stream = nullptr;
    if (!callbacks_ || callbacks_->AskDisk(disk + 1) == kKeyAbort) {
      return fail(Status::Fatal(kFatalAborted));
    }
    bool inserted = false;
    if (!reopenOnInsertedDisk(&inserted)) {
      if (inserted) return false;
      continue;  // a disk without the archive's file is not the one asked for
    }
    // A drive whose label cannot be read is taken as holding the right disk.
    int label = diskNumberFromLabel();
    if (label == disk + 1 || label == -1) break;
  }
  currentDisk = disk;
  return true;
}

bool ArchiveState::skipArchive(uint64_t count) {
  uint64_t position = stream->position();
  uint64_t left = position < archiveSize ? archiveSize - position : 0;
  while (spanned && count > left && !lastDiskReached()) {
    if (!switchDisk(currentDisk + 1)) return false;
    count -= left;
    left = archiveSize;
  }
  stream->seek(static_cast<int64_t>(count), kSeekCurrent);
  return true;
}
