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
