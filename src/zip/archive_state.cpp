// The archive state's lifecycle: naming, finding and opening the archive, the destination,
// closing and tear-down.
#include "zip/archive_state.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "report/report.h"

ArchiveState::ArchiveState() = default;

ArchiveState::~ArchiveState() {
  delete[] localExtra;
  localExtra = nullptr;
  if (search_ != kNoSearch) endSearch(search_);
  search_ = kNoSearch;
  delete found_;
  found_ = nullptr;
  closeArchive();
  FreeNameLists(&names);
}

void ArchiveState::setArchiveName(const char* name) {
  std::snprintf(requestedName, sizeof requestedName, "%s", name);
  toForwardSlashes(requestedName);
}

void ArchiveState::failOpen() {
  ReportFatal(lastError() == kErrorAccessDenied ? 16 : 13, archivePath);
}

int ArchiveState::openArchive() {
  if (spanned) return 0;
  archiveSize = 0;

  bool foundOne = false;
  if (!found_) {
    found_ = new (std::nothrow) FindInfo();
    if (!found_) ReportFatal(100, nullptr);
    search_ = findFirst(requestedName, found_);
    if (search_ != kNoSearch) {
      foundOne = true;
    } else {
      searchFinished_ = true;
      if (lastError() == kErrorNotReady) ReportFatal(24, requestedName);
    }
  } else if (!searchFinished_) {
    if (findNext(search_, found_) == 0) {
      foundOne = true;
    } else {
      endSearch(search_);
      search_ = kNoSearch;
      searchFinished_ = true;
    }
  }

  if (!foundOne) {
    // Every command of this program needs an existing archive.
    if (archivePath[0]) return 0;
    ReportFatal(12, requestedName);
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
  int length = std::snprintf(archivePath, sizeof archivePath, "%.*s%s",
                             static_cast<int>(dirLength), requestedName, found_->name);
  // A path cut to fit would name some other file.
  if (length < 0 || length >= kPathSize) ReportFatal(13, requestedName);
  if (!fullPathOf(fullPath, archivePath)) std::snprintf(fullPath, sizeof fullPath, "%s", archivePath);

  reopenArchive();
  driveType = driveTypeOf(fullPath);
  return 1;
}

void ArchiveState::reopenArchive() {
  delete stream;
  stream = new (std::nothrow)
      FileStream(archivePath, kGenericRead, kShareRead, kOpenExisting, kAttrNormal);
  if (!stream) ReportFatal(100, nullptr);
  if (!stream->isOpen()) {
    int error = lastError();
    delete stream;
    stream = nullptr;
    ReportFatal(error == kErrorAccessDenied ? 16 : 13, archivePath);
  }
  archiveSize = stream->seek(0, kSeekEnd);
  stream->seek(0, kSeekStart);
}

int ArchiveState::setDestination(const char* text, char* copy) {
  if (destination[0]) return 0;
  size_t length = std::strlen(text);
  if (length == 0) return 0;
  char last = text[length - 1];
  bool looksLikeDirectory = last == '/' || last == '\\' || text[0] == '/' || text[0] == '\\' ||
                            std::strchr(text, ':') != nullptr;
  if (!looksLikeDirectory) {
    uint32_t attributes = 0;
    if (std::strpbrk(text, "*?") || getAttributes(text, &attributes) != 0 ||
        !(attributes & kAttrDirectory)) {
      return 0;
    }
  }
  // The destination prefixes every output path: one that does not fit with its separator is
  // refused rather than cut, which would send the files somewhere else.
  if (length > kPathSize - 2) return 0;
  std::memcpy(destination, text, length + 1);
  if (copy) std::memcpy(copy, text, length + 1);
  toForwardSlashes(destination);
  if (last != '/' && last != '\\' && last != ':') std::strcat(destination, "/");
  return 1;
}

void ArchiveState::freeDirectory() {
  delete[] reinterpret_cast<uint8_t*>(endRecord_);
  endRecord_ = nullptr;
  while (chunks_) {
    DirectoryChunk* older = chunks_->next;
    delete[] reinterpret_cast<uint8_t*>(chunks_);
    chunks_ = older;
  }
  delete[] entries_;
  entries_ = nullptr;
}

void ArchiveState::closeArchive() {
  if (!stream || !stream->isOpen()) return;
  freeDirectory();
  delete stream;
  stream = nullptr;
}

uint32_t ArchiveState::readArchive(void* buffer, uint32_t count) {
  if (!stream) ReportArchiveError(150, nullptr);
  uint32_t got = 0;
  if (stream->read(buffer, count, &got) != 0) ReportArchiveError(150, nullptr);
  if (spanned && got < count) {
    // A read that ends at the end of one disk's file goes on at the start of the next disk's.
    switchDisk(currentDisk + 1);
    uint32_t more = 0;
    if (stream->read(static_cast<uint8_t*>(buffer) + got, count - got, &more) != 0) {
      ReportArchiveError(150, nullptr);
    }
    got += more;
  }
  return got;
}

uint32_t ArchiveState::readArchiveExact(void* buffer, uint32_t count) {
  if (readArchive(buffer, count) < count) ReportArchiveError(153, nullptr);
  return count;
}
