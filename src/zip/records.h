// The ZIP records as this program reads them. All fields little-endian.
#pragma once

#include <cstdint>

#include "zip/byte_reader.h"

constexpr uint32_t kEndRecordSignature = 0x06054B50;
// The program's own file is searched for this signature: written as a constant in the search, its
// bytes would sit in the program's code and be found there when no archive follows. The search
// uses this value, built at run time from a masked copy.
uint32_t EndRecordSignature();
constexpr uint32_t kCentralHeaderSignature = 0x02014B50;
constexpr uint32_t kLocalHeaderSignature = 0x04034B50;
constexpr uint32_t kSpanningMarker = 0x08074B50;

constexpr uint32_t kEndRecordSize = 22;      // + comment
constexpr uint32_t kCentralHeaderSize = 46;  // + name + extra + comment
constexpr uint32_t kLocalHeaderSize = 30;    // + name + extra

// End-of-central-directory record: offsets of its fields.
constexpr int kEndThisDisk = 4;
constexpr int kEndDirectoryDisk = 6;
constexpr int kEndEntriesOnDisk = 8;
constexpr int kEndTotalEntries = 10;
constexpr int kEndDirectorySize = 12;
constexpr int kEndDirectoryOffset = 16;
constexpr int kEndCommentLength = 20;

// Local header: offsets of its fields.
constexpr int kLocalFlags = 6;
constexpr int kLocalCrc32 = 14;
constexpr int kLocalNameLength = 26;
constexpr int kLocalExtraLength = 28;

// Entry flag bits.
constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDataDescriptor = 0x0008;
constexpr uint16_t kFlagUtf8Name = 0x0800;

// The end record as loaded: 22 fixed bytes followed by the comment, no terminator.
struct EndRecord {
  const uint8_t* bytes() const { return reinterpret_cast<const uint8_t*>(this); }
  uint32_t signature() const { return le32(bytes()); }
  uint16_t thisDisk() const { return le16(bytes() + kEndThisDisk); }
  uint16_t directoryDisk() const { return le16(bytes() + kEndDirectoryDisk); }
  uint16_t totalEntries() const { return le16(bytes() + kEndTotalEntries); }
  uint32_t directorySize() const { return le32(bytes() + kEndDirectorySize); }
  uint32_t directoryOffset() const { return le32(bytes() + kEndDirectoryOffset); }
  uint16_t commentLength() const { return le16(bytes() + kEndCommentLength); }
  const char* comment() const { return reinterpret_cast<const char*>(bytes() + kEndRecordSize); }
};

// A central-directory file header exactly as stored in the loaded directory: 46 fixed bytes,
// then name, extra field and entry comment. Never copied; the entry list points at these.
// The loader guarantees that the whole header lies inside its directory piece.
struct CentralHeader {
  const uint8_t* bytes() const { return reinterpret_cast<const uint8_t*>(this); }
  uint32_t signature() const { return le32(bytes()); }
  uint16_t versionMadeBy() const { return le16(bytes() + 4); }
  uint16_t versionNeeded() const { return le16(bytes() + 6); }
  uint16_t flags() const { return le16(bytes() + 8); }
  uint16_t method() const { return le16(bytes() + 10); }
  uint32_t dosDateTime() const { return le32(bytes() + 12); }
  uint32_t crc32() const { return le32(bytes() + 16); }
  uint32_t compressedSize() const { return le32(bytes() + 20); }
  uint32_t uncompressedSize() const { return le32(bytes() + 24); }
  uint16_t nameLength() const { return le16(bytes() + 28); }
  uint16_t extraLength() const { return le16(bytes() + 30); }
  uint16_t commentLength() const { return le16(bytes() + 32); }
  uint16_t diskNumberStart() const { return le16(bytes() + 34); }
  uint16_t internalAttributes() const { return le16(bytes() + 36); }
  uint32_t externalAttributes() const { return le32(bytes() + 38); }
  uint32_t localHeaderOffset() const { return le32(bytes() + 42); }
  const char* name() const { return reinterpret_cast<const char*>(bytes() + kCentralHeaderSize); }
  char* mutableName() {
    return reinterpret_cast<char*>(reinterpret_cast<uint8_t*>(this) + kCentralHeaderSize);
  }
  const uint8_t* extra() const { return bytes() + kCentralHeaderSize + nameLength(); }
  uint32_t totalSize() const {
    return kCentralHeaderSize + nameLength() + extraLength() + commentLength();
  }
};

inline const CentralHeader* AsCentralHeader(const uint8_t* p) {
  return reinterpret_cast<const CentralHeader*>(p);
}
