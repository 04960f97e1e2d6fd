// The ZIP records parsed into values through the bounds-checked reader.
#include "zip/records.h"

uint32_t EndRecordSignature() {
  static volatile uint32_t mask = 0xA5C3E187u;
  return (kEndRecordSignature ^ 0xA5C3E187u) ^ mask;
}

EndRecord ParseEndRecord(ByteReader r) {
  EndRecord e;
  e.signature = r.u32();
  e.thisDisk = r.u16();
  e.directoryDisk = r.u16();
  e.entriesOnDisk = r.u16();
  e.totalEntries = r.u16();
  e.directorySize = r.u32();
  e.directoryOffset = r.u32();
  e.commentLength = r.u16();
  return e;
}

CentralHeader ParseCentralHeaderFixed(ByteReader r) {
  CentralHeader h;
  h.signature = r.u32();
  h.versionMadeBy = r.u16();
  h.versionNeeded = r.u16();
  h.flags = r.u16();
  h.method = r.u16();
  h.dosDateTime = r.u32();
  h.crc32 = r.u32();
  h.compressedSize = r.u32();
  h.uncompressedSize = r.u32();
  h.nameLength = r.u16();
  h.extraLength = r.u16();
  h.commentLength = r.u16();
  h.diskNumberStart = r.u16();
  h.internalAttributes = r.u16();
  h.externalAttributes = r.u32();
  h.localHeaderOffset = r.u32();
  return h;
}

uint32_t CentralHeaderSize(const uint8_t* fixed) {
  return kCentralHeaderSize + le16(fixed + kCentralNameLength) +
         le16(fixed + kCentralExtraLength) + le16(fixed + kCentralCommentLength);
}

bool ParseCentralHeader(uint8_t* bytes, size_t available, CentralHeader* header, uint32_t* size) {
  if (available < kCentralHeaderSize) return false;
  CentralHeader h = ParseCentralHeaderFixed(ByteReader(bytes, kCentralHeaderSize));
  uint32_t total = CentralHeaderSize(bytes);
  if (total > available) return false;
  h.name = reinterpret_cast<char*>(bytes + kCentralHeaderSize);
  h.extra = bytes + kCentralHeaderSize + h.nameLength;
  h.comment = h.extra + h.extraLength;
  *header = h;
  *size = total;
  return true;
}

LocalHeader ParseLocalHeader(ByteReader r) {
  LocalHeader l;
  l.signature = r.u32();
  l.versionNeeded = r.u16();
  l.flags = r.u16();
  l.method = r.u16();
  l.dosDateTime = r.u32();
  l.crc32 = r.u32();
  l.compressedSize = r.u32();
  l.uncompressedSize = r.u32();
  l.nameLength = r.u16();
  l.extraLength = r.u16();
  return l;
}

bool EndRecordSaturated(const EndRecord& end) {
  return end.thisDisk == kSaturated16 || end.directoryDisk == kSaturated16 ||
         end.entriesOnDisk == kSaturated16 || end.totalEntries == kSaturated16 ||
         end.directorySize == kSaturated32 || end.directoryOffset == kSaturated32;
}

Zip64EndRecord ParseZip64EndRecord(const uint8_t* fixed) {
  Zip64EndRecord e;
  e.signature = le32(fixed);
  e.thisDisk = le32(fixed + kZip64EndThisDisk);
  e.directoryDisk = le32(fixed + kZip64EndDirectoryDisk);
  e.entriesOnDisk = le64(fixed + kZip64EndEntriesOnDisk);
  e.totalEntries = le64(fixed + kZip64EndTotalEntries);
  e.directorySize = le64(fixed + kZip64EndDirectorySize);
  e.directoryOffset = le64(fixed + kZip64EndDirectoryOffset);
  return e;
}

ByteReader FindExtraRecord(const uint8_t* extra, size_t length, uint16_t id) {
  ByteReader field(extra, extra ? length : 0);
  while (field.remaining() >= 4) {
    const uint16_t recordId = field.u16();
    ByteReader data = field.sub(field.u16());
    if (data.failed()) break;
    if (recordId == id) return data;
  }
  ByteReader none(extra, 0);
  none.skip(1);  // marks it failed
  return none;
}

namespace {

bool TakeSaturated64(ByteReader& data, uint64_t* value) {
  if (!value || *value != kSaturated32) return true;
  if (data.remaining() < 8) return false;
  *value = data.u64();
  return true;
}

}  // namespace

Zip64Extra ApplyZip64Extra(const uint8_t* extra, size_t length, uint64_t* uncompressedSize,
                           uint64_t* compressedSize, uint64_t* offset, uint32_t* disk) {
  ByteReader data = FindExtraRecord(extra, length, kZip64ExtraId);
  if (data.failed()) return Zip64Extra::kAbsent;
  if (!TakeSaturated64(data, uncompressedSize) || !TakeSaturated64(data, compressedSize) ||
      !TakeSaturated64(data, offset)) {
    return Zip64Extra::kTooShort;
  }
  if (disk && *disk == kSaturated16) {
    if (data.remaining() < 4) return Zip64Extra::kTooShort;
    *disk = data.u32();
  }
  return Zip64Extra::kApplied;
}

Zip64Extra ApplyZip64Extra(CentralHeader* header) {
  uint32_t disk = header->diskNumberStart;
  Zip64Extra found = ApplyZip64Extra(header->extra, header->extraLength, &header->uncompressedSize,
                                     &header->compressedSize, &header->localHeaderOffset, &disk);
  header->zip64 = found != Zip64Extra::kAbsent;
  // A set of more than 65535 disks is not one this program could ask for.
  header->diskNumberStart = static_cast<uint16_t>(disk > kSaturated16 ? kSaturated16 : disk);
  return found;
}
