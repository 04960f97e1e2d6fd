// The archive state's lifecycle: naming, finding and opening the archive, reading it, closing
// and tear-down.
#include "zip/archive_state.h"

#include <cstring>
#include <new>

#include "fs/format.h"
#include "report/messages.h"
#include "zip/read_ahead.h"

ArchiveState::ArchiveState(UserCallbacks* callbacks) : callbacks_(callbacks) {}

ArchiveState::~ArchiveState() {
  if (search_ != kNoSearch) endSearch(search_);
  search_ = kNoSearch;
  closeArchive();
  delete stream;
  stream = nullptr;
}

void ArchiveState::setArchiveName(const char* name) {
  FormatText(requestedName, kLongPathSize, "%s", name);
  toForwardSlashes(requestedName);
}

bool ArchiveState::fail(const Status& status) {
  if (status_.ok()) status_ = status;
  return false;
}

bool ArchiveState::failOpen(int error) {
  return fail(Status::Fatal(
      error == kErrorAccessDenied ? kFatalCannotOpenForWriting : kFatalCannotOpenArchive,
      archivePath));
}

bool ArchiveState::openArchive() {
  if (spanned || failed()) return false;
  archiveSize = 0;

  bool foundOne = false;
  if (!found_) {
    found_.reset(new (std::nothrow) FindInfo());
    if (!found_) return fail(Status::Fatal(kFatalNoMemory));
    search_ = findFirst(requestedName, found_.get());
    if (search_ != kNoSearch) {
      foundOne = true;
    } else {
      searchFinished_ = true;
      if (lastError() == kErrorNotReady) return fail(Status::Fatal(kFatalDriveNotReady, requestedName));
    }
  } else if (!searchFinished_) {
    if (findNext(search_, found_.get()) == 0) {
      foundOne = true;
    } else {
      endSearch(search_);
      search_ = kNoSearch;
      searchFinished_ = true;
    }
  }

  if (!foundOne) {
    // Every command of this program needs an existing archive.
    if (archivePath[0]) return false;
    return fail(Status::Fatal(kFatalArchiveNotFound, requestedName));
  }

  // The directory part of the requested name: up to its last '/', else up to its last ':'.
  size_t dirLength = 0;
  const char* slash = std::strrchr(requestedName, '/');
  const char* colon = findColon(requestedName, 0);
  if (slash) {
    dirLength = static_cast<size_t>(slash - requestedName) + 1;
  } else if (colon) {
    dirLength = static_cast<size_t>(colon - requestedName) + 1;
  }
  int length = FormatText(archivePath, kLongPathSize, "%.*s%s",
                          static_cast<int>(dirLength), requestedName.get(), found_->name);
  // A path cut to fit would name some other file.
  if (length < 0 || length >= kLongPathSize) {
    return fail(Status::Fatal(kFatalCannotOpenArchive, requestedName));
  }
  if (!fullPathOf(fullPath, archivePath)) FormatText(fullPath, kLongPathSize, "%s", archivePath.get());

  if (!reopenArchive()) return false;
  driveType = queryDriveType();
  return true;
}

bool ArchiveState::reopenArchive() {
  delete stream;
  stream = new (std::nothrow) ReadAheadStream(archivePath);
  if (!stream) return fail(Status::Fatal(kFatalNoMemory));
  if (!stream->isOpen()) {
    int error = lastError();
    delete stream;
    stream = nullptr;
    return failOpen(error);
  }
  archiveSize = stream->seek(0, kSeekEnd);
  stream->seek(0, kSeekStart);
  return true;
}

void ArchiveState::freeDirectory() {
  hasEndRecord_ = false;
  endRecord_ = EndRecord();
  // Freed newest first, one at a time: a long chain must not unwind recursively.
  while (pieces_) pieces_ = std::move(pieces_->older);
  while (names_) names_ = std::move(names_->older);
  namesUsed_ = 0;
  entries_.reset();
}

void ArchiveState::closeArchive() {
  if (!stream || !stream->isOpen()) return;
  freeDirectory();
  delete stream;
  stream = nullptr;
}

uint32_t ArchiveState::readArchive(void* buffer, uint32_t count) {
  if (failed()) return 0;
  if (!stream) return fail(Status::ArchiveError(kArchiveReadError)), 0;
  uint32_t got = 0;
  if (stream->read(buffer, count, &got) != 0) return fail(Status::ArchiveError(kArchiveReadError)), 0;
  if (spanned && got < count && !lastDiskReached()) {
    // A read that ends at the end of one disk's file goes on at the start of the next disk's.
    if (!switchDisk(currentDisk + 1)) return 0;
    uint32_t more = 0;
    if (stream->read(static_cast<uint8_t*>(buffer) + got, count - got, &more) != 0) {
      return fail(Status::ArchiveError(kArchiveReadError)), 0;
    }
    got += more;
  }
  return got;
}

bool ArchiveState::readArchiveExact(void* buffer, uint32_t count) {
  uint32_t done = 0;
  // Each read changes disks at most once: bytes spread over several small disks take several.
  while (done < count) {
    uint32_t got = readArchive(static_cast<uint8_t*>(buffer) + done, count - done);
    done += got;
    if (got == 0 || !spanned) break;
  }
  if (done < count) return fail(Status::ArchiveError(kArchiveEndedEarly));
  return true;
}
