// Finding the end record and loading the central directory into memory.
#include <cstring>
#include <new>

#include "report/messages.h"
#include "report/user_callbacks.h"
#include "fs/codepage.h"
#include "zip/archive_state.h"
#include "zip/unicode_path.h"

namespace {

constexpr unsigned kHostUnix = 3;

// Headers the loader cannot take: one longer than this is not a ZIP central header.
constexpr uint32_t kMaxCentralHeaderSize = kCentralHeaderSize + 3 * 0xFFFFu;

// A Unicode path field that matches the stored name gives the name: the entry's name is then
// the field's bytes, which stay loaded with the header.
bool TakeUnicodePath(CentralHeader* header) {
  const char* utf8 = nullptr;
  uint16_t utf8Length = 0;
  if (!unicodePathOf(header->extra, header->extraLength, header->name, header->nameLength, &utf8,
                     &utf8Length) ||
      !IsWellFormedUtf8(utf8, utf8Length)) {
    return false;
  }
  header->name = const_cast<char*>(utf8);
  header->nameLength = utf8Length;
  return true;
}

bool IsAscii(const char* text, uint32_t length) {
  for (uint32_t i = 0; i < length; ++i) {
    if (static_cast<unsigned char>(text[i]) >= 0x80) return false;
  }
  return true;
}

// Unix archivers write names as the file system gives them, in UTF-8 on today's systems, and
// most set neither the flag nor the Unicode path field. A non-ASCII name from a Unix maker that
// is well-formed UTF-8 is taken so: in the OEM code page such a run of bytes would be a rare
// mix of box-drawing and accented characters. Makers of other hosts write the OEM code page
// (DOS and Windows tools) or flag their UTF-8, and keep the OEM reading.
bool WrittenInUtf8(const CentralHeader& header) {
  return (header.versionMadeBy >> 8) == kHostUnix &&
         !hasUnicodePathField(header.extra, header.extraLength) &&
         IsWellFormedUtf8(header.name, header.nameLength);
}

}  // namespace

Status ArchiveState::readDirectory() {
  if (failed()) return status_;
  if (archiveSize < kEndRecordSize) {
    fail(Status::ArchiveError(kArchiveTooSmall));
    return status_;
  }

  // A volume of a spanned set: the directory is read from the disk that holds the end record,
  // asked for when another disk is in the drive.
  int probe = probeSpanning();
  if ((probe == 1 || probe == 2) && !startSpannedSet(probe)) return status_;

  if (findEndRecord() && resolveDirectoryFigures()) loadDirectory();
  return status_;
}

bool ArchiveState::findEndRecord() {
  uint8_t buffer[kEndSearchWindow];
  uint32_t window = archiveSize < kEndSearchWindow ? static_cast<uint32_t>(archiveSize) : kEndSearchWindow;
  if (window < kEndRecordSize) return fail(Status::ArchiveError(kArchiveTooSmall));
  uint64_t start = archiveSize - window;
  const uint32_t signature = EndRecordSignature();

  for (;;) {
    stream->seek(static_cast<int64_t>(start), kSeekStart);
    uint32_t got = readArchive(buffer, window);
    if (failed()) return false;
    // The record nearest the end of the file wins: examine the highest positions first.
    if (got >= kEndRecordSize) {
      for (uint32_t pos = got - kEndRecordSize + 1; pos-- > 0;) {
        if (le32(buffer + pos) != signature) continue;
        uint64_t offset = start + pos;
        endRecord_ = ParseEndRecord(ByteReader(buffer + pos, kEndRecordSize));
        hasEndRecord_ = true;
        endRecordOffset_ = offset;
        // The disk in the drive is the one that holds the end record.
        if (spanned) currentDisk = endRecord_.thisDisk;
        // A comment cut short by the end of the file keeps its missing part zero.
        endRecord_.comment = Text();
        if (endRecord_.commentLength) {
          char* comment = new (std::nothrow) char[endRecord_.commentLength]();
          if (!comment) return fail(Status::Fatal(kFatalNoMemoryForDirectory));
          stream->seek(static_cast<int64_t>(offset + kEndRecordSize), kSeekStart);
          readArchive(comment, endRecord_.commentLength);
          endRecord_.comment.assign(comment, endRecord_.commentLength);
          delete[] comment;
        }
        return !failed();
      }
    }
    if (start == 0) return fail(Status::ArchiveError(kArchiveNoDirectory));
    if (start > kEndSearchStep) {
      start -= kEndSearchStep;
    } else {
      window = static_cast<uint32_t>(start) + kEndRecordSize;
      start = 0;
    }
  }
}

uint8_t* ArchiveState::newPiece(uint32_t size) {
  std::unique_ptr<Piece> piece(new (std::nothrow) Piece);
  if (!piece) return nullptr;
  piece->data.reset(new (std::nothrow) uint8_t[size ? size : 1]);
  if (!piece->data) return nullptr;
  piece->size = size;
  piece->older = std::move(pieces_);
  pieces_ = std::move(piece);
  return pieces_->data.get();
}

void ArchiveState::dropNewestPiece() {
  if (pieces_) pieces_ = std::move(pieces_->older);
}

bool ArchiveState::loadDirectory() {
  bool headerThere = false;
  if (!seekDirectory(&headerThere)) return false;
  const uint32_t total = entryCount;
  if (total == 0) return headerThere ? refuseUncountedHeaders() : true;
  entries_.reset(new (std::nothrow) CentralHeader[total]);
  if (!entries_) return fail(Status::Fatal(kFatalNoMemoryForDirectory));
  if (!loadHeaders(directorySize_, total)) {
    freeDirectory();
    return false;
  }
  return true;
}

bool ArchiveState::refuseUncountedHeaders() {
  // An end record that counts no entries while headers stand where the directory begins would
  // pass every file over as an empty archive: the headers are counted and refused, naming both
  // figures, as a count too small is. A directory size of 0 with headers there is no truer:
  // they are looked for up to the end record.
  uint64_t size = directorySize_;
  if (!spanned) {
    const uint64_t limit = directoryOffset_ < endRecordOffset_ ? endRecordOffset_ - directoryOffset_ : 0;
    if (size == 0 || size > limit) size = limit;
  }
  const bool empty = loadHeaders(size, 0);
  if (!empty) {
    freeDirectory();
    return false;
  }
  while (pieces_) pieces_ = std::move(pieces_->older);
  return true;
}

bool ArchiveState::seekDirectory(bool* headerThere) {
  const EndRecord& end = endRecord_;
  if (end.thisDisk != 0 && driveType == kDriveRemovable) {
    spanned = 1;
    currentDisk = end.thisDisk;
    if (end.directoryDisk > end.thisDisk) {
      // No disk of the set comes after the one holding the end record.
      if (entryCount == 0) return true;
      return fail(Status::ArchiveError(kArchiveNoDirectory));
    }
    if (end.directoryDisk != end.thisDisk && !switchDisk(end.directoryDisk)) return false;
    currentDisk = end.directoryDisk;
  }

  // The first header's signature. In a spanned set it is looked for on the directory's disk
  // alone: a signature cut by the end of that disk's file is checked with its header.
  uint8_t signature[4] = {};
  uint32_t got = 0;
  stream->seek(static_cast<int64_t>(directoryOffset_), kSeekStart);
  if (spanned) {
    if (directoryOffset_ > archiveSize && entryCount != 0) {
      return fail(Status::ArchiveError(kArchiveReadError));
    }
    if (stream->read(signature, 4, &got) != 0) return fail(Status::ArchiveError(kArchiveReadError));
  } else {
    got = readArchive(signature, 4);
  }
  if (failed()) return false;
  *headerThere = got == 4 && le32(signature) == kCentralHeaderSignature;
  if ((!spanned || got == 4) && !*headerThere && entryCount != 0) {
    return fail(Status::ArchiveError(kArchiveReadError));
  }
  stream->seek(static_cast<int64_t>(directoryOffset_), kSeekStart);
  return true;
}

bool ArchiveState::loadHeaders(uint64_t remaining, uint32_t toFind) {
  uint32_t found = 0;
  uint64_t surplus = 0;  // headers past the announced count
  // The next piece starts with a header cut by the end of a disk's file: it is read across
  // the disk change, not clipped.
  bool acrossDisks = false;
  while (remaining > 0) {
    uint32_t piece = 0;
    const PieceRead read = readPiece(remaining, &acrossDisks, &piece);
    if (read == PieceRead::kFailed) return false;
    if (read == PieceRead::kNothing) continue;
    if (!parsePiece(pieces_->data.get(), piece, &found, &toFind, &surplus)) return false;
    remaining -= piece;
  }
  if (toFind != 0) return fail(Status::ArchiveError(kArchiveNoDirectory));
  if (surplus != 0) return refuseSurplusHeaders(surplus);
  return true;
}

ArchiveState::PieceRead ArchiveState::readPiece(uint64_t remaining, bool* acrossDisks,
                                                uint32_t* pieceSize) {
  uint32_t piece = remaining < kMaxDirectoryPiece ? static_cast<uint32_t>(remaining) : kMaxDirectoryPiece;
  bool clipped = false;  // the piece reaches the end of this disk's file
  if (spanned && !*acrossDisks) {
    uint64_t position = stream->position();
    uint64_t left = position < archiveSize ? archiveSize - position : 0;
    if (left == 0) {
      // The directory goes on at the start of the next disk's file, if there is one.
      if (lastDiskReached()) {
        fail(Status::ArchiveError(kArchiveEndedEarly));
        return PieceRead::kFailed;
      }
      return switchDisk(currentDisk + 1) ? PieceRead::kNothing : PieceRead::kFailed;
    }
    if (piece >= left) {
      piece = static_cast<uint32_t>(left);
      clipped = true;
    }
  }
  *acrossDisks = false;
  uint8_t* data = newPiece(piece);
  if (!data) {
    fail(Status::Fatal(kFatalNoMemoryForDirectory));
    return PieceRead::kFailed;
  }
  if (!readArchiveExact(data, piece)) return PieceRead::kFailed;
  if (piece < remaining && !fitPieceToHeaders(&piece, remaining, clipped, acrossDisks)) {
    return PieceRead::kFailed;
  }
  if (piece == 0) {
    dropNewestPiece();
    return PieceRead::kNothing;
  }
  pieces_->size = piece;
  *pieceSize = piece;
  return PieceRead::kRead;
}

bool ArchiveState::fitPieceToHeaders(uint32_t* pieceSize, uint64_t remaining, bool clipped,
                                     bool* acrossDisks) {
  const uint8_t* data = pieces_->data.get();
  uint32_t piece = *pieceSize;
  uint32_t h = 0;
  for (uint32_t pos = piece >= 5 ? piece - 4 : 0; pos >= 1; --pos) {
    if (le32(data + pos) == kCentralHeaderSignature) {
      h = pos;
      break;
    }
  }
  bool endsOnBoundary = piece - h >= kCentralHeaderSize + 1 &&
                        le32(data + h) == kCentralHeaderSignature &&
                        piece - h == CentralHeaderSize(data + h);
  bool startsWithHeader = piece >= 4 && le32(data) == kCentralHeaderSignature;
  if (endsOnBoundary) {
    // Whole; after a clipped piece the next one comes from the next disk.
  } else if (clipped) {
    // A header runs over the end of this disk's file (this read stayed on the disk).
    stream->seek(-static_cast<int64_t>(piece - h), kSeekCurrent);
    *pieceSize = h;
    *acrossDisks = true;
  } else if (h > 0) {
    if (piece - h > stream->position()) return fail(Status::ArchiveError(kArchiveNoDirectory));
    stream->seek(-static_cast<int64_t>(piece - h), kSeekCurrent);
    *pieceSize = h;
  } else if (startsWithHeader) {
    // The piece holds a single header that is longer than a piece: load that header whole
    // as a piece of its own size, so that the load always moves forward.
    uint32_t need = piece >= kCentralHeaderSize ? CentralHeaderSize(data) : 0;
    if (need <= piece || need > remaining || need > kMaxCentralHeaderSize ||
        piece > stream->position()) {
      return fail(Status::ArchiveError(kArchiveNoDirectory));
    }
    stream->seek(-static_cast<int64_t>(piece), kSeekCurrent);
    dropNewestPiece();
    uint8_t* whole = newPiece(need);
    if (!whole) return fail(Status::Fatal(kFatalNoMemoryForDirectory));
    *pieceSize = need;
    if (!readArchiveExact(whole, need)) return false;
  }
  return true;
}

bool ArchiveState::parsePiece(uint8_t* data, uint32_t piece, uint32_t* found,
                              uint32_t* toFind, uint64_t* surplus) {
  uint32_t pos = 0;
  // Read to the piece's end: headers past the announced count are counted, never passed over.
  while (pos < piece) {
    if (pos + 4 > piece || le32(data + pos) != kCentralHeaderSignature) {
      ++pos;  // bytes between headers are skipped
      continue;
    }
    // A header whose fixed part, name, extra field or comment runs past the bytes loaded is
    // not a header this program can read.
    CentralHeader header;
    uint32_t size = 0;
    if (!ParseCentralHeader(data + pos, piece - pos, &header, &size)) {
      if (*toFind == 0) {
        ++pos;  // past the announced entries: bytes, not a header
        continue;
      }
      return fail(Status::ArchiveError(kArchiveNoDirectory));
    }
    pos += size;
    if (*toFind == 0) {
      ++*surplus;
      continue;
    }
    if (!adoptHeader(&header)) return false;
    entries_[*found] = header;
    ++*found;
    --*toFind;
  }
  return true;
}

bool ArchiveState::translateEntryName(CentralHeader* header) {
  // Names are kept in UTF-8: a name flagged so is taken as stored, one the Unicode path field
  // gives likewise, and so is a Unix maker's name that is well-formed UTF-8 (below); any other
  // is in the OEM code page, each byte its own character.
  if (header->flags & kFlagUtf8Name) {
    if (IsWellFormedUtf8(header->name, header->nameLength)) return true;
    // Not UTF-8 after all: what has a 1252 form keeps it, every other byte becomes '_'.
    header->nameLength = utf8NameToAnsi(header->name, header->nameLength);
    if (IsAscii(header->name, header->nameLength)) return true;
    char* utf8 = nameStorage(3 * header->nameLength);
    if (!utf8) return fail(Status::Fatal(kFatalNoMemoryForDirectory));
    header->nameLength = static_cast<uint32_t>(AnsiToUtf8Into(header->name, header->nameLength, utf8));
    header->name = utf8;
    return true;
  }
  if (TakeUnicodePath(header)) return true;
  if (IsAscii(header->name, header->nameLength) || WrittenInUtf8(*header)) return true;
  char* utf8 = nameStorage(3 * header->nameLength);
  if (!utf8) return fail(Status::Fatal(kFatalNoMemoryForDirectory));
  header->nameLength = oemNameToUtf8(header->name, header->nameLength, utf8);
  header->name = utf8;
  return true;
}

char* ArchiveState::nameStorage(uint32_t size) {
  // Names grown by the conversion are carved from blocks freed with the directory.
  constexpr uint32_t kNameBlock = 16384;
  if (!names_ || names_->size - namesUsed_ < size) {
    std::unique_ptr<Piece> block(new (std::nothrow) Piece);
    if (!block) return nullptr;
    const uint32_t blockSize = size > kNameBlock ? size : kNameBlock;
    block->data.reset(new (std::nothrow) uint8_t[blockSize]);
    if (!block->data) return nullptr;
    block->size = blockSize;
    block->older = std::move(names_);
    names_ = std::move(block);
    namesUsed_ = 0;
  }
  char* out = reinterpret_cast<char*>(names_->data.get()) + namesUsed_;
  namesUsed_ += size;
  return out;
}
