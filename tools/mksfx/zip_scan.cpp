#include "zip_scan.h"

#include <algorithm>
#include <cstdio>

#include "zip/byte_reader.h"
#include "zip/records.h"

namespace {

// The backward search reads this much per step; consecutive steps overlap by 21 bytes so that
// every position at which a whole record fits is examined once.
constexpr size_t kSearchStep = 64 * 1024;

// A central header can be no longer than this: three 16-bit lengths after the fixed part.
constexpr uint64_t kMaxCentralHeaderSize = kCentralHeaderSize + 3 * 0xFFFFull;

std::string Number(uint64_t v) { return std::to_string(v); }

// Entry names are bytes in whatever code page their writer used: show them safely.
std::string Printable(const uint8_t* p, size_t n) {
  std::string out;
  for (size_t i = 0; i < n && i < 120; ++i) {
    out.push_back(p[i] >= 0x20 && p[i] < 0x7F ? static_cast<char>(p[i]) : '?');
  }
  if (n > 120) out += "...";
  return out;
}

// The end record nearest the end of the file, among the positions where all 22 bytes fit: the
// record the stub's own backward search will take.
enum class EndSearch { kFound, kNone, kReadError };
EndSearch FindEndRecord(InputFile& input, uint64_t* position) {
  uint64_t size = input.size();
  if (size < kEndRecordSize) return EndSearch::kNone;
  std::vector<uint8_t> buffer(kSearchStep);
  uint64_t high = size;
  for (;;) {
    uint64_t low = high > kSearchStep ? high - kSearchStep : 0;
    size_t count = static_cast<size_t>(high - low);
    if (!input.readAt(low, buffer.data(), count)) return EndSearch::kReadError;
    for (size_t pos = count - kEndRecordSize + 1; pos-- > 0;) {
      if (le32(buffer.data() + pos) == kEndRecordSignature) {
        *position = low + pos;
        return EndSearch::kFound;
      }
    }
    if (low == 0) return EndSearch::kNone;
    high = low + kEndRecordSize - 1;
  }
}

// Where a central header keeps its local header offset in its ZIP64 block: after the sizes that
// are saturated, in the order the format gives. Null when the block is missing or too short.
uint8_t* Zip64OffsetSlot(uint8_t* header) {
  const uint8_t* extra = header + kCentralHeaderSize + le16(header + kCentralNameLength);
  ByteReader block = FindExtraRecord(extra, le16(header + kCentralExtraLength), kZip64ExtraId);
  if (block.failed()) return nullptr;
  size_t at = 0;
  if (le32(header + kCentralUncompressedSize) == kSaturated32) at += 8;
  if (le32(header + kCentralCompressedSize) == kSaturated32) at += 8;
  if (at + 8 > block.remaining()) return nullptr;
  // The block lies inside the header given: the slot is the same place, to be written.
  return header + (block.current() - header) + at;
}

// The directory's figures, from the end record or, where it is saturated, the ZIP64 end record.
struct DirectoryFigures {
  uint64_t entries = 0;
  uint64_t size = 0;
  uint64_t offset = 0;
};

// The ZIP64 end record that the locator in front of the end record points at: at the stored
// offset, or (for a ZIP whose offsets count from its own start, later prefixed) right before
// the locator. Kept in zip->zip64Records with the locator; its figures fill in the saturated
// ones of the end record.
bool ReadZip64Records(InputFile& input, uint64_t endRecord, const EndRecord& end,
                      ScannedZip* zip, DirectoryFigures* figures, std::string* why) {
  const uint64_t locatorStart = endRecord - kZip64LocatorSize;
  uint8_t locator[kZip64LocatorSize];
  if (!input.readAt(locatorStart, locator, sizeof locator)) return *why = "read error", false;
  if (le32(locator + kLocatorEndDisk) != 0 || le32(locator + kLocatorTotalDisks) > 1) {
    *why = "spanned ZIP64 archive (its locator counts " +
           Number(le32(locator + kLocatorTotalDisks)) +
           " disks); only a single-file archive can be made self-extracting";
    return false;
  }
  uint8_t fixed[kZip64EndSize];
  auto recordAt = [&](uint64_t at) {
    return at <= locatorStart && locatorStart - at >= kZip64EndSize &&
           input.readAt(at, fixed, sizeof fixed) && le32(fixed) == kZip64EndSignature;
  };
  uint64_t recordStart = le64(locator + kLocatorEndOffset);
  if (!recordAt(recordStart)) {
    recordStart = locatorStart >= kZip64EndSize ? locatorStart - kZip64EndSize : 0;
    if (!recordAt(recordStart)) {
      *why = "damaged ZIP64 archive: no ZIP64 end record where its locator places it (offset " +
             Number(le64(locator + kLocatorEndOffset)) + ")";
      return false;
    }
  }
  const Zip64EndRecord record = ParseZip64EndRecord(fixed);
  if (record.thisDisk != 0 || record.directoryDisk != 0 ||
      record.entriesOnDisk != record.totalEntries) {
    *why = "spanned or damaged ZIP64 archive: its ZIP64 end record counts " +
           Number(record.entriesOnDisk) + " entries on disk " + Number(record.thisDisk) +
           " and " + Number(record.totalEntries) + " in all";
    return false;
  }
  zip->recordsStart = recordStart;
  zip->zip64Records.assign(endRecord - recordStart, 0);
  if (!input.readAt(recordStart, zip->zip64Records.data(), zip->zip64Records.size())) {
    return *why = "read error", false;
  }
  figures->entries = end.totalEntries == kSaturated16 ? record.totalEntries : end.totalEntries;
  figures->size = end.directorySize == kSaturated32 ? record.directorySize : end.directorySize;
  figures->offset = end.directoryOffset == kSaturated32 ? record.directoryOffset : end.directoryOffset;
  return true;
}

// Refuses an end record whose figures this builder cannot shift: saturated fields with no ZIP64
// end record to stand for them, spanned sets, and sizes that cannot be. The figures in
// *figures, the reason in *why.
bool CheckEndRecord(InputFile& input, uint64_t endRecord, const EndRecord& end, ScannedZip* zip,
                    DirectoryFigures* figures, std::string* why) {
  zip->recordsStart = endRecord;
  zip->zip64Records.clear();
  *figures = DirectoryFigures{end.totalEntries, end.directorySize, end.directoryOffset};
  // A ZIP64 archive keeps its true figures in records before the end record; the locator sits
  // directly in front of it.
  uint8_t locator[4];
  if (endRecord >= kZip64LocatorSize && input.readAt(endRecord - kZip64LocatorSize, locator, 4) &&
      le32(locator) == kZip64LocatorSignature) {
    if (!ReadZip64Records(input, endRecord, end, zip, figures, why)) return false;
  } else if (end.totalEntries == kSaturated16 || end.directorySize == kSaturated32 ||
             end.directoryOffset == kSaturated32) {
    *why = "damaged ZIP64 archive: its end record's figures are saturated and there is no ZIP64 "
           "end record to give them";
    return false;
  }
  const bool zip64 = !zip->zip64Records.empty();
  if (!zip64 && (end.thisDisk != 0 || end.directoryDisk != 0)) {
    *why = "spanned archive (end record on disk " + Number(end.thisDisk) +
           ", central directory on disk " + Number(end.directoryDisk) +
           ", numbered from 0); only a single-file archive can be made self-extracting";
    return false;
  }
  if (!zip64 && end.entriesOnDisk != end.totalEntries) {
    *why = "spanned or damaged archive: the end record counts " + Number(end.entriesOnDisk) +
           " entries on this disk but " + Number(end.totalEntries) + " in all";
    return false;
  }
  if (endRecord + kEndRecordSize + end.commentLength > input.size()) {
    *why = "damaged archive: its comment (" + Number(end.commentLength) +
           " bytes) runs past the end of the file";
    return false;
  }
  if (figures->size > zip->recordsStart) {
    *why = "damaged central directory: its size (" + Number(figures->size) +
           " bytes) is more than precedes the " + (zip64 ? "ZIP64 end record" : "end record");
    return false;
  }
  // Every header has its fixed part and at most three 16-bit lengths more. A 64-bit count
  // that does not fit the size is not this directory's (and would only make the entry list as
  // large as it asks); a 16-bit one is left for the walk to name the entry where it ends.
  if ((zip64 && figures->entries > figures->size / kCentralHeaderSize) ||
      figures->size > figures->entries * kMaxCentralHeaderSize + 6 + 0xFFFF) {
    *why = "damaged central directory: " + Number(figures->size) + " bytes for " +
           Number(figures->entries) + " entries";
    return false;
  }
  return true;
}

// Where the directory is. Written directly before the end record, it tells what the stored
// offsets count from: from the file's start (absolute, as in a self-extracting archive) or
// from the start of a ZIP that was later prefixed. Offsets that are absolute also allow bytes
// between the directory and the end record.
bool LocateDirectory(InputFile& input, const DirectoryFigures& end, ScannedZip* zip,
                     std::string* why) {
  const uint64_t packed = zip->recordsStart - end.size;
  uint8_t signature[4];
  auto directoryAt = [&](uint64_t at) {
    return end.size < 4 ||
           (input.readAt(at, signature, 4) && le32(signature) == kCentralHeaderSignature);
  };
  if (directoryAt(packed)) {
    zip->directoryStart = packed;
    zip->base = static_cast<int64_t>(packed) - static_cast<int64_t>(end.offset);
  } else if (end.offset <= zip->recordsStart && end.size <= zip->recordsStart - end.offset &&
             directoryAt(end.offset)) {
    zip->directoryStart = end.offset;
    zip->base = 0;
  } else {
    *why = "damaged archive: no central directory where the end record places it (offset " +
           Number(end.offset) + ") nor right before the end record (offset " +
           Number(packed) + ")";
    return false;
  }
  return true;
}

// One central header of the loaded directory: checked, and listed with where its local header
// is. The reader stands after it.
bool ScanCentralHeader(ByteReader& directory, uint64_t index, uint64_t totalEntries,
                       ScannedZip* zip, std::string* why) {
  std::string which = "entry " + Number(index + 1) + " of " + Number(totalEntries);
  size_t at = directory.position();
  ByteReader fixedPart = directory.sub(kCentralHeaderSize);
  if (directory.failed()) {
    *why = "damaged central directory: it ends inside " + which;
    return false;
  }
  const CentralHeader header = ParseCentralHeaderFixed(fixedPart);
  if (header.signature != kCentralHeaderSignature) {
    *why = "damaged central directory: no central header signature at " + which + " (offset " +
           Number(zip->directoryStart + at) + ")";
    return false;
  }
  ByteReader name = directory.sub(header.nameLength);
  ByteReader extra = directory.sub(header.extraLength);
  directory.skip(header.commentLength);
  if (directory.failed()) {
    *why = "damaged central directory: the name, extra field or comment of " + which +
           " runs past the end of the directory";
    return false;
  }
  std::string shown = Printable(name.current(), name.remaining());
  uint64_t offset = header.localHeaderOffset;
  uint64_t sizes[2] = {header.uncompressedSize, header.compressedSize};
  uint32_t disk = header.diskNumberStart;
  const Zip64Extra found =
      ApplyZip64Extra(extra.current(), extra.remaining(), &sizes[0], &sizes[1], &offset, &disk);
  const bool saturated = header.uncompressedSize == kSaturated32 ||
                         header.compressedSize == kSaturated32 ||
                         header.localHeaderOffset == kSaturated32;
  if (found == Zip64Extra::kTooShort || (saturated && found == Zip64Extra::kAbsent) ||
      (header.localHeaderOffset == kSaturated32 && !Zip64OffsetSlot(zip->directory.data() + at))) {
    *why = "damaged ZIP64 archive: entry '" + shown +
           "' has a figure of 0xFFFFFFFF and no ZIP64 extra field that holds it";
    return false;
  }
  if (disk != 0) {
    *why = "spanned archive: entry '" + shown + "' starts on disk " + Number(disk) +
           ", numbered from 0";
    return false;
  }
  ScannedZip::Entry entry;
  entry.headerOffset = static_cast<uint32_t>(at);
  // An offset past every file this builder takes (ZIP64: 64 bits from the archive) is no header.
  int64_t local = offset > INT64_MAX / 2 ? -1 : static_cast<int64_t>(offset) + zip->base;
  entry.localHeader = local < 0 ? UINT64_MAX : static_cast<uint64_t>(local);
  entry.name = shown;
  zip->entries.push_back(entry);
  return true;
}

// Nothing else may follow the headers the end record counts, except the directory's closing
// signature record: more headers there would keep their offsets unshifted.
bool CheckDirectoryEnd(ByteReader& directory, uint64_t totalEntries, std::string* why) {
  if (directory.remaining() == 0) return true;
  size_t stray = directory.remaining();
  ByteReader rest = directory.sub(stray);
  uint32_t id = rest.u32();
  uint16_t length = rest.u16();
  bool closingRecord = !rest.failed() && id == kDirectorySignatureSignature && rest.skip(length) &&
                       rest.remaining() == 0;
  if (closingRecord) return true;
  if (id == kCentralHeaderSignature) {
    *why = "damaged central directory: it holds more central headers than the " +
           Number(totalEntries) + " the end record counts";
  } else {
    *why = "damaged central directory: " + Number(stray) + " stray bytes follow its last entry";
  }
  return false;
}

// Every entry's local header must be where the directory says, before the directory: a wrong
// guess at what the offsets count from must not become an archive that cannot be read.
bool CheckLocalHeaders(InputFile& input, ScannedZip* zip, std::string* why) {
  zip->start = zip->directoryStart;
  for (const ScannedZip::Entry& entry : zip->entries) {
    uint8_t local[4];
    if (entry.localHeader > zip->directoryStart ||
        zip->directoryStart - entry.localHeader < kLocalHeaderSize ||
        !input.readAt(entry.localHeader, local, 4) || le32(local) != kLocalHeaderSignature) {
      const CentralHeader header = ParseCentralHeaderFixed(
          ByteReader(zip->directory.data() + entry.headerOffset, kCentralHeaderSize));
      *why = "damaged archive: no local header for entry '" + entry.name +
             "' where the central directory places it (stored offset " +
             Number(header.localHeaderOffset) + ")";
      return false;
    }
    zip->start = std::min(zip->start, entry.localHeader);
  }
  return true;
}

}  // namespace

bool ScanZip(InputFile& input, ScannedZip* zip, std::string* error) {
  auto refuse = [&](const std::string& why) {
    *error = input.path() + ": " + why;
    return false;
  };
  uint64_t endRecord = 0;
  const EndSearch found = FindEndRecord(input, &endRecord);
  if (found == EndSearch::kReadError) return refuse("read error");
  if (found == EndSearch::kNone) return refuse("not a ZIP archive (no end-of-central-directory record)");

  uint8_t fixed[kEndRecordSize];
  if (!input.readAt(endRecord, fixed, sizeof fixed)) return refuse("read error");
  const EndRecord end = ParseEndRecord(ByteReader(fixed, sizeof fixed));
  std::string why;
  DirectoryFigures figures;
  if (!CheckEndRecord(input, endRecord, end, zip, &figures, &why) ||
      !LocateDirectory(input, figures, zip, &why)) {
    return refuse(why);
  }
  if (figures.size > kSaturated32) {
    return refuse("too large: a central directory of " + Number(figures.size) + " bytes");
  }
  const uint64_t archiveEnd = endRecord + kEndRecordSize + end.commentLength;
  zip->directorySize = static_cast<uint32_t>(figures.size);
  zip->entryCount = figures.entries;
  zip->endRecordStart = endRecord;
  zip->end = archiveEnd;
  zip->directory.assign(zip->directorySize, 0);
  if (!input.readAt(zip->directoryStart, zip->directory.data(), zip->directorySize)) {
    return refuse("read error");
  }
  zip->endRecord.assign(archiveEnd - endRecord, 0);
  if (!input.readAt(endRecord, zip->endRecord.data(), zip->endRecord.size())) {
    return refuse("read error");
  }

  zip->entries.clear();
  zip->entries.reserve(figures.entries);
  ByteReader directory(zip->directory.data(), zip->directory.size());
  for (uint64_t i = 0; i < figures.entries; ++i) {
    if (!ScanCentralHeader(directory, i, figures.entries, zip, &why)) return refuse(why);
  }
  if (!CheckDirectoryEnd(directory, figures.entries, &why) ||
      !CheckLocalHeaders(input, zip, &why)) {
    return refuse(why);
  }
  return true;
}

namespace {

// Writes value into the 32-bit field at field unless the field is saturated (its figure then
// lives in a ZIP64 record only).
void PutUnlessSaturated(uint8_t* field, uint64_t value) {
  if (le32(field) != kSaturated32) putLe32(field, static_cast<uint32_t>(value));
}

}  // namespace

void SetDirectorySize(ScannedZip* zip, uint32_t size) {
  zip->directorySize = size;
  PutUnlessSaturated(zip->endRecord.data() + kEndDirectorySize, size);
  if (!zip->zip64Records.empty()) putLe64(zip->zip64Records.data() + kZip64EndDirectorySize, size);
}

void SetDirectoryOffset(ScannedZip* zip, uint64_t offset) {
  PutUnlessSaturated(zip->endRecord.data() + kEndDirectoryOffset, offset);
  if (zip->zip64Records.empty()) return;
  uint8_t* records = zip->zip64Records.data();
  putLe64(records + kZip64EndDirectoryOffset, offset);
  // The ZIP64 end record follows the directory directly in what is written.
  uint8_t* locator = records + zip->zip64Records.size() - kZip64LocatorSize;
  putLe64(locator + kLocatorEndOffset, offset + zip->directorySize);
}

void SetLocalHeaderOffset(uint8_t* header, uint64_t offset) {
  if (le32(header + kCentralLocalHeaderOffset) == kSaturated32) {
    putLe64(Zip64OffsetSlot(header), offset);
  } else {
    putLe32(header + kCentralLocalHeaderOffset, static_cast<uint32_t>(offset));
  }
}
