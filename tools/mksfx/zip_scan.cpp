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

// True when the extra field holds a ZIP64 block. A malformed extra field ends the walk: it does
// not stop the shift, which never touches extra fields.
bool HasZip64Extra(ByteReader extra) {
  while (extra.remaining() >= 4) {
    uint16_t id = extra.u16();
    uint16_t size = extra.u16();
    if (id == kZip64ExtraId) return true;
    if (!extra.skip(size)) return false;
  }
  return false;
}

const char* const kNoZip64 = "; only archives without ZIP64 records can be made self-extracting";

// Refuses an end record whose figures this builder cannot shift: ZIP64 escapes and locators,
// spanned sets, and sizes that cannot be. The reason in *why.
bool CheckEndRecord(InputFile& input, uint64_t endRecord, const EndRecord& end, std::string* why) {
  // A ZIP64 archive keeps its true figures in records before the end record; the locator sits
  // directly in front of it.
  uint8_t locator[4];
  if (endRecord >= kZip64LocatorSize && input.readAt(endRecord - kZip64LocatorSize, locator, 4) &&
      le32(locator) == kZip64LocatorSignature) {
    // Info-ZIP's zip writes ZIP64 records for any input read from a pipe.
    *why = std::string("ZIP64 archive (it has a ZIP64 end-record locator; zip writes one for "
                       "input read from a pipe unless given -fz-)") + kNoZip64;
    return false;
  }
  const struct {
    const char* name;
    uint32_t value, escape;
  } fields[] = {
      {"disk number", end.thisDisk, 0xFFFF},
      {"central directory disk", end.directoryDisk, 0xFFFF},
      {"entry count on this disk", end.entriesOnDisk, 0xFFFF},
      {"entry count", end.totalEntries, 0xFFFF},
      {"central directory size", end.directorySize, 0xFFFFFFFF},
      {"central directory offset", end.directoryOffset, 0xFFFFFFFF},
  };
  for (const auto& f : fields) {
    if (f.value == f.escape) {
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%X", static_cast<unsigned>(f.escape));
      *why = std::string("ZIP64 archive (the end record's ") + f.name + " is " + hex + ")" +
             kNoZip64;
      return false;
    }
  }
  if (end.thisDisk != 0 || end.directoryDisk != 0) {
    *why = "spanned archive (end record on disk " + Number(end.thisDisk) +
           ", central directory on disk " + Number(end.directoryDisk) +
           ", numbered from 0); only a single-file archive can be made self-extracting";
    return false;
  }
  if (end.entriesOnDisk != end.totalEntries) {
    *why = "spanned or damaged archive: the end record counts " + Number(end.entriesOnDisk) +
           " entries on this disk but " + Number(end.totalEntries) + " in all";
    return false;
  }
  if (endRecord + kEndRecordSize + end.commentLength > input.size()) {
    *why = "damaged archive: its comment (" + Number(end.commentLength) +
           " bytes) runs past the end of the file";
    return false;
  }
  if (end.directorySize > endRecord) {
    *why = "damaged central directory: its size (" + Number(end.directorySize) +
           " bytes) is more than precedes the end record";
    return false;
  }
  if (end.directorySize > end.totalEntries * kMaxCentralHeaderSize + 6 + 0xFFFF) {
    *why = "damaged central directory: " + Number(end.directorySize) + " bytes for " +
           Number(end.totalEntries) + " entries";
    return false;
  }
  return true;
}

// Where the directory is. Written directly before the end record, it tells what the stored
// offsets count from: from the file's start (absolute, as in a self-extracting archive) or
// from the start of a ZIP that was later prefixed. Offsets that are absolute also allow bytes
// between the directory and the end record.
bool LocateDirectory(InputFile& input, uint64_t endRecord, const EndRecord& end, ScannedZip* zip,
                     std::string* why) {
  uint64_t packed = endRecord - end.directorySize;
  uint8_t signature[4];
  auto directoryAt = [&](uint64_t at) {
    return end.directorySize < 4 ||
           (input.readAt(at, signature, 4) && le32(signature) == kCentralHeaderSignature);
  };
  if (directoryAt(packed)) {
    zip->directoryStart = packed;
    zip->base = static_cast<int64_t>(packed) - static_cast<int64_t>(end.directoryOffset);
  } else if (static_cast<uint64_t>(end.directoryOffset) + end.directorySize <= endRecord &&
             directoryAt(end.directoryOffset)) {
    zip->directoryStart = end.directoryOffset;
    zip->base = 0;
  } else {
    *why = "damaged archive: no central directory where the end record places it (offset " +
           Number(end.directoryOffset) + ") nor right before the end record (offset " +
           Number(packed) + ")";
    return false;
  }
  return true;
}

// One central header of the loaded directory: checked, and listed with where its local header
// is. The reader stands after it.
bool ScanCentralHeader(ByteReader& directory, uint32_t index, uint16_t totalEntries,
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
  if (header.diskNumberStart != 0) {
    *why = "spanned archive: entry '" + shown + "' starts on disk " +
           Number(header.diskNumberStart) + ", numbered from 0";
    return false;
  }
  if (header.compressedSize == 0xFFFFFFFF || header.uncompressedSize == 0xFFFFFFFF ||
      header.localHeaderOffset == 0xFFFFFFFF) {
    *why = "ZIP64 archive: entry '" + shown + "' has a size or offset of 0xFFFFFFFF" + kNoZip64;
    return false;
  }
  if (HasZip64Extra(extra)) {
    *why = "ZIP64 archive: entry '" + shown + "' has a ZIP64 extra field" + kNoZip64;
    return false;
  }
  ScannedZip::Entry entry;
  entry.headerOffset = static_cast<uint32_t>(at);
  int64_t local = static_cast<int64_t>(header.localHeaderOffset) + zip->base;
  entry.localHeader = local < 0 ? UINT64_MAX : static_cast<uint64_t>(local);
  entry.name = shown;
  zip->entries.push_back(entry);
  return true;
}

// Nothing else may follow the headers the end record counts, except the directory's closing
// signature record: more headers there would keep their offsets unshifted.
bool CheckDirectoryEnd(ByteReader& directory, uint16_t totalEntries, std::string* why) {
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
  if (!CheckEndRecord(input, endRecord, end, &why) ||
      !LocateDirectory(input, endRecord, end, zip, &why)) {
    return refuse(why);
  }
  const uint64_t archiveEnd = endRecord + kEndRecordSize + end.commentLength;
  zip->directorySize = end.directorySize;
  zip->endRecordStart = endRecord;
  zip->end = archiveEnd;
  zip->directory.assign(end.directorySize, 0);
  if (!input.readAt(zip->directoryStart, zip->directory.data(), end.directorySize)) {
    return refuse("read error");
  }
  zip->endRecord.assign(archiveEnd - endRecord, 0);
  if (!input.readAt(endRecord, zip->endRecord.data(), zip->endRecord.size())) {
    return refuse("read error");
  }

  zip->entries.clear();
  zip->entries.reserve(end.totalEntries);
  ByteReader directory(zip->directory.data(), zip->directory.size());
  for (uint32_t i = 0; i < end.totalEntries; ++i) {
    if (!ScanCentralHeader(directory, i, end.totalEntries, zip, &why)) return refuse(why);
  }
  if (!CheckDirectoryEnd(directory, end.totalEntries, &why) ||
      !CheckLocalHeaders(input, zip, &why)) {
    return refuse(why);
  }
  return true;
}
