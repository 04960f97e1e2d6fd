// Positioning the archive on an entry's data after checking its local header.
#include <new>

#include "report/report.h"
#include "zip/archive_state.h"

uint32_t ArchiveState::seekEntryData(const CentralHeader* entry) {
  delete[] localExtra;
  localExtra = nullptr;
  localExtraLength = 0;

  if (spanned && entry->diskNumberStart() != static_cast<uint16_t>(currentDisk)) {
    switchDisk(entry->diskNumberStart());
  }

  uint8_t local[kLocalHeaderSize];
  stream->seek(static_cast<int32_t>(entry->localHeaderOffset()), kSeekStart);
  readArchiveExact(local, kLocalHeaderSize);

  // With a data descriptor the local header may carry no CRC; otherwise the two must agree.
  bool crcDiffers = le32(local + kLocalCrc32) != entry->crc32() &&
                    !(le16(local + kLocalFlags) & kFlagDataDescriptor);
  if (le32(local) != kLocalHeaderSignature || crcDiffers) ReportArchiveError(154, nullptr);

  uint32_t position = stream->seek(le16(local + kLocalNameLength), kSeekCurrent);
  uint16_t extraLength = le16(local + kLocalExtraLength);
  if (extraLength > 0) {
    localExtra = new (std::nothrow) uint8_t[extraLength + 1u];
    if (!localExtra) ReportFatal(100, nullptr);
    readArchiveExact(localExtra, extraLength);
    localExtra[extraLength] = 0;
    localExtraLength = extraLength;
  }
  return position + extraLength;
}
