// The central directory's figures, from the end record or, where its 16- and 32-bit fields are
// saturated, from the ZIP64 end record that the locator before it points at; and the checks
// that an entry's ZIP64 figures can be read safely. Every refusal here comes before any entry
// is read, and names its reason.
#include "fs/format.h"
#include "fs/text.h"
#include "report/messages.h"
#include "zip/archive_state.h"

namespace {

const char* const kNoZip64End = "registro final ZIP64 não encontrado";
const char* const kLocatorMisplaced = "o localizador ZIP64 não aponta para o registro final ZIP64";
const char* const kZip64Spanned = "conjunto de discos com ZIP64, que este programa não lê";
const char* const kTooManyEntries =
    "o registro final ZIP64 anuncia mais entradas do que cabem no diretório central";
const char* const kDirectoryPastEnd = "o diretório central passa do fim do arquivo";

}  // namespace

bool ArchiveState::resolveDirectoryFigures() {
  const EndRecord& end = endRecord_;
  entryCount = end.totalEntries;
  directoryOffset_ = end.directoryOffset;
  directorySize_ = end.directorySize;
  zip64_ = false;
  if (!EndRecordSaturated(end)) return true;

  uint8_t locator[kZip64LocatorSize];
  if (readZip64Locator(locator)) return takeZip64EndRecord(locator);
  if (failed()) return false;
  // Exactly 65535 entries fill the count without ZIP64; the load then counts the headers and
  // refuses a directory that holds more. A saturated size or offset has no such reading.
  if (end.directorySize != kSaturated32 && end.directoryOffset != kSaturated32) return true;
  return fail(Status::ArchiveError(kArchiveNoDirectory, kNoZip64End));
}

bool ArchiveState::readZip64Locator(uint8_t* locator) {
  if (endRecordOffset_ < kZip64LocatorSize) return false;
  stream->seek(static_cast<int64_t>(endRecordOffset_ - kZip64LocatorSize), kSeekStart);
  return readArchive(locator, kZip64LocatorSize) == kZip64LocatorSize &&
         le32(locator) == kZip64LocatorSignature;
}

bool ArchiveState::takeZip64EndRecord(const uint8_t* locator) {
  // The locator stands between the ZIP64 end record and the end record.
  const uint64_t locatorOffset = endRecordOffset_ - kZip64LocatorSize;
  const uint64_t recordOffset = le64(locator + kLocatorEndOffset);
  if (spanned || le32(locator + kLocatorEndDisk) != 0 || le32(locator + kLocatorTotalDisks) > 1) {
    return fail(Status::ArchiveError(kArchiveReadError, kZip64Spanned));
  }
  uint8_t fixed[kZip64EndSize];
  if (recordOffset > locatorOffset || locatorOffset - recordOffset < kZip64EndSize) {
    return fail(Status::ArchiveError(kArchiveNoDirectory, kLocatorMisplaced));
  }
  stream->seek(static_cast<int64_t>(recordOffset), kSeekStart);
  if (readArchive(fixed, kZip64EndSize) != kZip64EndSize || le32(fixed) != kZip64EndSignature) {
    return failed() ? false : fail(Status::ArchiveError(kArchiveNoDirectory, kLocatorMisplaced));
  }
  const Zip64EndRecord record = ParseZip64EndRecord(fixed);
  if (record.thisDisk != 0 || record.directoryDisk != 0) {
    return fail(Status::ArchiveError(kArchiveReadError, kZip64Spanned));
  }
  // The directory ends where the ZIP64 end record begins, or before.
  if (record.directoryOffset > recordOffset ||
      record.directorySize > recordOffset - record.directoryOffset) {
    return fail(Status::ArchiveError(kArchiveEndedEarly, kDirectoryPastEnd));
  }
  // Every header takes at least its fixed part: a larger count is not this directory's, and
  // would only make the entry list as large as the count asks.
  if (record.totalEntries > record.directorySize / kCentralHeaderSize) {
    return fail(Status::ArchiveError(kArchiveReadError, kTooManyEntries));
  }
  entryCount = static_cast<uint32_t>(record.totalEntries);
  directoryOffset_ = record.directoryOffset;
  directorySize_ = record.directorySize;
  zip64_ = true;
  return true;
}

bool ArchiveState::refuseSurplusHeaders(uint64_t surplus) {
  char detail[200];
  FormatText(detail, sizeof detail,
             "o diretório central tem %llu entradas e o registro final anuncia %u",
             static_cast<unsigned long long>(entryCount + surplus), entryCount);
  return fail(Status::ArchiveError(kArchiveReadError, detail));
}

bool ArchiveState::adoptHeader(CentralHeader* header) {
  if (!translateEntryName(header)) return false;
  const Zip64Extra zip64 = ApplyZip64Extra(header);
  if (zip64 == Zip64Extra::kAbsent) return true;
  Text detail(header->name, header->nameLength);
  if (zip64 == Zip64Extra::kTooShort) {
    Text text("campo extra ZIP64 curto demais em ");
    text += detail.c_str();
    return fail(Status::ArchiveError(kArchiveReadError, text.c_str()));
  }
  // Figures of 64 bits from the archive are not trusted: the entry's header and data must lie
  // inside the file (each disk of a set counts its own offsets: not checked there).
  const uint64_t offset = header->localHeaderOffset;
  if (!spanned && (offset > archiveSize || archiveSize - offset < kLocalHeaderSize ||
                   header->compressedSize > archiveSize - offset - kLocalHeaderSize)) {
    detail += " passa do fim do arquivo";
    return fail(Status::ArchiveError(kArchiveEndedEarly, detail.c_str()));
  }
  return true;
}
