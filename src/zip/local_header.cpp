// Positioning the archive on an entry's data after checking its local header.
#include <new>

#include "report/messages.h"
#include "zip/archive_state.h"

uint32_t ArchiveState::seekEntryData(const CentralHeader& entry) {
  localExtra_.reset();
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
  stream->seek(static_cast<int32_t>(entry.localHeaderOffset), kSeekStart);
  if (!readArchiveExact(fixed, kLocalHeaderSize)) return 0;
  const LocalHeader local = ParseLocalHeader(ByteReader(fixed, sizeof fixed));

  // With a data descriptor the local header may carry no CRC; otherwise the two must agree.
  bool crcDiffers = local.crc32 != entry.crc32 && !(local.flags & kFlagDataDescriptor);
  if (local.signature != kLocalHeaderSignature || crcDiffers) {
    fail(Status::ArchiveError(kArchiveBadLocalHeader));
    return 0;
  }

  // The name and the extra field may run onto the next disk of a spanned set.
  if (!skipArchive(local.nameLength)) return 0;
  if (local.extraLength > 0) {
    localExtra_.reset(new (std::nothrow) uint8_t[local.extraLength]);
    if (!localExtra_) return fail(Status::Fatal(kFatalNoMemory)), 0;
    localExtraLength_ = local.extraLength;
    if (!readArchiveExact(localExtra_.get(), local.extraLength)) return 0;
  }
  return stream->position();
}
