// Finding the end record and loading the central directory into memory.
#include <cstring>
#include <new>

#include "report/report.h"
#include "report/user_callbacks.h"
#include "zip/archive_state.h"

namespace {

// Headers the loader cannot take: one longer than this is not a ZIP central header.
constexpr uint32_t kMaxCentralHeaderSize = kCentralHeaderSize + 3 * 0xFFFFu;

DirectoryChunk* NewChunk(uint32_t size) {
  uint8_t* raw = new (std::nothrow) uint8_t[offsetof(DirectoryChunk, data) + (size ? size : 1)];
  return reinterpret_cast<DirectoryChunk*>(raw);
}

}  // namespace

uint32_t EndRecordSignature() {
  static volatile uint32_t mask = 0xA5C3E187u;
  return (kEndRecordSignature ^ 0xA5C3E187u) ^ mask;
}

int ArchiveState::readDirectory() {
  if (archiveSize < kEndRecordSize) ReportArchiveError(151, nullptr);

  int probe = probeSpanning();
  if (probe == 1 || probe == 2) {
    delete stream;
    stream = nullptr;
    spanned = 1;
    if (probe == 1 && gCallbacks && gCallbacks->AskLastDisk() == kKeyAbort) ReportFatal(19, nullptr);
    reopenArchive();
  }

  findEndRecord();
  loadDirectory();
  return 0;
}

void ArchiveState::findEndRecord() {
  uint8_t buffer[kEndSearchWindow];
  uint32_t window = archiveSize < kEndSearchWindow ? archiveSize : kEndSearchWindow;
  if (window < kEndRecordSize) ReportArchiveError(151, nullptr);
  uint32_t start = archiveSize - window;
  const uint32_t signature = EndRecordSignature();

  for (;;) {
    stream->seek(static_cast<int32_t>(start), kSeekStart);
    uint32_t got = readArchive(buffer, window);
    // The record nearest the end of the file wins: examine the highest positions first.
    if (got >= kEndRecordSize) {
      for (uint32_t pos = got - kEndRecordSize + 1; pos-- > 0;) {
        if (le32(buffer + pos) != signature) continue;
        uint32_t offset = start + pos;
        uint16_t commentLength = le16(buffer + pos + kEndCommentLength);
        uint8_t* record = new (std::nothrow) uint8_t[kEndRecordSize + commentLength];
        if (!record) ReportFatal(100, nullptr);
        std::memcpy(record, buffer + pos, kEndRecordSize);
        std::memset(record + kEndRecordSize, 0, commentLength);
        endRecord_ = reinterpret_cast<EndRecord*>(record);
        if (commentLength) {
          // A comment cut short by the end of the file keeps its missing part empty.
          stream->seek(static_cast<int32_t>(offset + kEndRecordSize), kSeekStart);
          readArchive(record + kEndRecordSize, commentLength);
        }
        return;
      }
    }
    if (start == 0) ReportArchiveError(152, nullptr);
    if (start > kEndSearchStep) {
      start -= kEndSearchStep;
    } else {
      window = start + kEndRecordSize;
      start = 0;
    }
  }
}

void ArchiveState::loadDirectory() {
  const EndRecord& end = *endRecord_;
  entryCount = end.totalEntries();
  ClearAuthenticitySummary(&authenticity);

  if (end.thisDisk() != 0 && driveType == kDriveRemovable) {
    spanned = 1;
    if (end.directoryDisk() != end.thisDisk()) switchDisk(end.directoryDisk());
    currentDisk = end.directoryDisk();
  }

  uint8_t signature[4] = {};
  stream->seek(static_cast<int32_t>(end.directoryOffset()), kSeekStart);
  readArchive(signature, 4);
  if (le32(signature) != kCentralHeaderSignature && end.totalEntries() != 0) {
    ReportArchiveError(150, nullptr);
  }
  stream->seek(static_cast<int32_t>(end.directoryOffset()), kSeekStart);
  if (end.totalEntries() == 0) return;

  entries_ = new (std::nothrow) CentralHeader*[end.totalEntries()];
  if (!entries_) ReportFatal(103, nullptr);

  uint32_t remaining = end.directorySize();
  uint32_t found = 0;
  uint32_t toFind = end.totalEntries();
  while (remaining > 0) {
    uint32_t piece = remaining < kMaxDirectoryPiece ? remaining : kMaxDirectoryPiece;
    if (spanned) {
      uint32_t left = archiveSize - stream->position();
      if (piece >= left) piece = left;
    }
    DirectoryChunk* chunk = NewChunk(piece);
    if (!chunk) {
      freeDirectory();
      ReportFatal(103, nullptr);
    }
    chunk->next = chunks_;
    chunk->used = 0;
    chunks_ = chunk;
    readArchiveExact(chunk->data, piece);

    if (piece < remaining && piece >= 4) {
      // End the piece on a header boundary: a header cut by the piece's end is read again at the
      // start of the next piece.
      uint32_t h = 0;
      for (uint32_t pos = piece - 4; pos >= 1; --pos) {
        if (le32(chunk->data + pos) == kCentralHeaderSignature) {
          h = pos;
          break;
        }
      }
      bool endsOnBoundary =
          piece - h >= kCentralHeaderSize + 1 &&
          piece - h == AsCentralHeader(chunk->data + h)->totalSize();
      if (!endsOnBoundary && h == 0 && le32(chunk->data) == kCentralHeaderSignature) {
        // The piece holds a single header that is longer than a piece: load that header whole
        // as a piece of its own size, so that the load always moves forward.
        uint32_t need = piece >= kCentralHeaderSize ? AsCentralHeader(chunk->data)->totalSize() : 0;
        if (need <= piece || need > remaining || need > kMaxCentralHeaderSize) {
          ReportArchiveError(152, nullptr);
        }
        stream->seek(-static_cast<int32_t>(piece), kSeekCurrent);
        chunks_ = chunk->next;
        delete[] reinterpret_cast<uint8_t*>(chunk);
        chunk = NewChunk(need);
        if (!chunk) {
          freeDirectory();
          ReportFatal(103, nullptr);
        }
        chunk->next = chunks_;
        chunks_ = chunk;
        piece = need;
        readArchiveExact(chunk->data, piece);
      } else if (!endsOnBoundary && h > 0) {
        stream->seek(-static_cast<int32_t>(piece - h), kSeekCurrent);
        piece = h;
      } else if (endsOnBoundary && spanned && currentDisk != end.thisDisk()) {
        switchDisk(currentDisk + 1);
      }
    }
    chunk->used = piece;

    uint32_t pos = 0;
    while (pos < piece && toFind > 0) {
      if (pos + 4 > piece || le32(chunk->data + pos) != kCentralHeaderSignature) {
        ++pos;  // bytes between headers are skipped
        continue;
      }
      // A header whose fixed part, name, extra field or comment runs past the bytes loaded is
      // not a header this program can read.
      if (pos + kCentralHeaderSize > piece) ReportArchiveError(152, nullptr);
      CentralHeader* header = reinterpret_cast<CentralHeader*>(chunk->data + pos);
      uint32_t size = header->totalSize();
      if (size > piece - pos) ReportArchiveError(152, nullptr);
      entries_[found] = header;
      translateEntryName(header);
      AuthenticityDirectoryHook(&authenticity, header);
      pos += size;
      ++found;
      --toFind;
    }
    remaining -= piece;
  }
  if (toFind != 0) {
    freeDirectory();
    ReportArchiveError(152, nullptr);
  }
}

void ArchiveState::translateEntryName(CentralHeader* header) {
  char* name = header->mutableName();
  uint16_t length = header->nameLength();
  if (!(header->flags() & kFlagUtf8Name)) {
    translateName(name, name, length, kTranslateOemToAnsi);
    return;
  }
  // A UTF-8 name shrinks in the ANSI code page: the extra field and comment move up behind it
  // and the record's name length follows, so every reader of the record sees one consistent
  // header.
  uint32_t newLength = utf8NameToAnsi(name, length);
  if (newLength == length) return;
  uint32_t tail = header->extraLength() + header->commentLength();
  std::memmove(name + newLength, name + length, tail);
  putLe16(reinterpret_cast<uint8_t*>(header) + 28, static_cast<uint16_t>(newLength));
}
