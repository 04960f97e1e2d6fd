// Positioning the archive on an entry's data after checking its local header.
#include <new>

#include "report/messages.h"
#include "zip/archive_state.h"

bool ArchiveState::reserveLocalFields(uint32_t size) {
  if (size <= localFieldsCapacity_) return true;
  const uint32_t capacity = size < 1024 ? 1024 : size;
  localFields_.reset(new (std::nothrow) uint8_t[capacity]);
  localFieldsCapacity_ = localFields_ ? capacity : 0;
  if (!localFields_) return fail(Status::Fatal(kFatalNoMemory));
  return true;
}

uint64_t ArchiveState::seekEntryData(const CentralHeader& entry) {
  localExtra_ = nullptr;
  localExtraLength_ = 0;
  if (failed()) return 0;

  if (spanned && entry.diskNumberStart != static_cast<uint16_t>(currentDisk)) {
    // An entry said to start past the disk that ends the set has no local header to find.
    if (hasEndRecord_ && entry.diskNumberStart > endRecord_.thisDisk) {
      fail(Status::ArchiveError(kArchiveBadLocalHeader));
      return 0;
    }
    if (!switchDisk(entry.diskNumberStart)) return 0;
  }

  uint8_t fixed[kLocalHeaderSize];
  stream->seek(static_cast<int64_t>(entry.localHeaderOffset), kSeekStart);
  if (!readArchiveExact(fixed, kLocalHeaderSize)) return 0;
  const LocalHeader local = ParseLocalHeader(ByteReader(fixed, sizeof fixed));

  // With a data descriptor the local header may carry no CRC; otherwise the two must agree.
  bool crcDiffers = local.crc32 != entry.crc32 && !(local.flags & kFlagDataDescriptor);
  if (local.signature != kLocalHeaderSignature || crcDiffers) {
    fail(Status::ArchiveError(kArchiveBadLocalHeader));
    return 0;
  }

  if (local.extraLength == 0) {
    if (!skipArchive(local.nameLength)) return 0;
    return stream->position();
  }
  // Name and extra field in one read where both lie inside this file; otherwise the name is
  // skipped (it may run onto the next disk of a spanned set, or past the end) and the extra
  // field read after it.
  const uint32_t fields = static_cast<uint32_t>(local.nameLength) + local.extraLength;
  const uint64_t here = stream->position();
  const bool oneRead = !spanned && here <= archiveSize && fields <= archiveSize - here;
  if (!reserveLocalFields(oneRead ? fields : local.extraLength)) return 0;
  if (oneRead) {
    if (!readArchiveExact(localFields_.get(), fields)) return 0;
    localExtra_ = localFields_.get() + local.nameLength;
  } else {
    if (!skipArchive(local.nameLength)) return 0;
    if (!readArchiveExact(localFields_.get(), local.extraLength)) return 0;
    localExtra_ = localFields_.get();
  }
  localExtraLength_ = local.extraLength;
  return stream->position();
}
