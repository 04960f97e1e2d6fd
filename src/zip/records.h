// The ZIP records as this program reads them, and as the builder patches them: signatures,
// sizes, the offset of every field (named once, here), and the records parsed into values.
// All fields little-endian.
#pragma once

#include <cstdint>

#include "fs/text.h"
#include "zip/byte_reader.h"

constexpr uint32_t kEndRecordSignature = 0x06054B50;
// The program's own file is searched for this signature: written as a constant in the search, its
// bytes would sit in the program's code and be found there when no archive follows. The search
// uses this value, built at run time from a masked copy.
uint32_t EndRecordSignature();
constexpr uint32_t kCentralHeaderSignature = 0x02014B50;
constexpr uint32_t kLocalHeaderSignature = 0x04034B50;
constexpr uint32_t kSpanningMarker = 0x08074B50;
// A ZIP64 archive keeps its true directory figures in records of its own, found through this
// locator just before the end record, and saturates the end record's fields.
constexpr uint32_t kZip64LocatorSignature = 0x07064B50;
constexpr uint32_t kZip64LocatorSize = 20;
constexpr uint32_t kZip64EndSignature = 0x06064B50;
constexpr uint32_t kZip64EndSize = 56;  // + extensible data, which nothing here reads
// The extra field that holds a header's saturated sizes, offset and disk.
constexpr uint16_t kZip64ExtraId = 0x0001;
// A saturated field: its true value is in the ZIP64 records.
constexpr uint16_t kSaturated16 = 0xFFFF;
constexpr uint32_t kSaturated32 = 0xFFFFFFFFu;

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

// Central-directory file header: offsets of its fields.
constexpr int kCentralVersionMadeBy = 4;
constexpr int kCentralVersionNeeded = 6;
constexpr int kCentralFlags = 8;
constexpr int kCentralMethod = 10;
constexpr int kCentralDosDateTime = 12;
constexpr int kCentralCrc32 = 16;
constexpr int kCentralCompressedSize = 20;
constexpr int kCentralUncompressedSize = 24;
constexpr int kCentralNameLength = 28;
constexpr int kCentralExtraLength = 30;
constexpr int kCentralCommentLength = 32;
constexpr int kCentralDiskNumberStart = 34;
constexpr int kCentralInternalAttributes = 36;
constexpr int kCentralExternalAttributes = 38;
constexpr int kCentralLocalHeaderOffset = 42;

// Local header: offsets of its fields.
constexpr int kLocalVersionNeeded = 4;
constexpr int kLocalFlags = 6;
constexpr int kLocalMethod = 8;
constexpr int kLocalDosDateTime = 10;
constexpr int kLocalCrc32 = 14;
constexpr int kLocalCompressedSize = 18;
constexpr int kLocalUncompressedSize = 22;
constexpr int kLocalNameLength = 26;
constexpr int kLocalExtraLength = 28;

// Entry flag bits.
constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDataDescriptor = 0x0008;
constexpr uint16_t kFlagUtf8Name = 0x0800;

// The end record: its fixed fields and the comment (as much of it as the file holds; the rest
// reads as zero bytes).
struct EndRecord {
  uint32_t signature = 0;
  uint16_t thisDisk = 0;
  uint16_t directoryDisk = 0;
  uint16_t entriesOnDisk = 0;
  uint16_t totalEntries = 0;
  uint32_t directorySize = 0;
  uint32_t directoryOffset = 0;
  uint16_t commentLength = 0;
  Text comment;  // commentLength bytes
};

// The fixed 22 bytes of an end record.
EndRecord ParseEndRecord(ByteReader fixed);
// Whether any of the end record's figures is saturated (its true value is in the ZIP64 records).
bool EndRecordSaturated(const EndRecord& end);

// ZIP64 locator: offsets of its fields.
constexpr int kLocatorEndDisk = 4;
constexpr int kLocatorEndOffset = 8;
constexpr int kLocatorTotalDisks = 16;
// ZIP64 end record: offsets of its fields.
constexpr int kZip64EndRecordSize = 4;  // of what follows this field
constexpr int kZip64EndVersionMadeBy = 12;
constexpr int kZip64EndVersionNeeded = 14;
constexpr int kZip64EndThisDisk = 16;
constexpr int kZip64EndDirectoryDisk = 20;
constexpr int kZip64EndEntriesOnDisk = 24;
constexpr int kZip64EndTotalEntries = 32;
constexpr int kZip64EndDirectorySize = 40;
constexpr int kZip64EndDirectoryOffset = 48;

// The figures of the ZIP64 end record that say where the directory is.
struct Zip64EndRecord {
  uint32_t signature = 0;
  uint32_t thisDisk = 0;
  uint32_t directoryDisk = 0;
  uint64_t entriesOnDisk = 0;
  uint64_t totalEntries = 0;
  uint64_t directorySize = 0;
  uint64_t directoryOffset = 0;
};
Zip64EndRecord ParseZip64EndRecord(const uint8_t* fixed);  // kZip64EndSize bytes

// A central-directory file header. The name, extra field and comment stay where the directory
// was loaded; the entry list holds these values.
struct CentralHeader {
  uint32_t signature = 0;
  uint16_t versionMadeBy = 0;
  uint16_t versionNeeded = 0;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint32_t dosDateTime = 0;
  uint32_t crc32 = 0;
  uint64_t compressedSize = 0;    // from the ZIP64 extra field when saturated
  uint64_t uncompressedSize = 0;  // likewise
  uint32_t nameLength = 0;  // of name as translated to UTF-8 (may outgrow the stored 16 bits)
  uint16_t extraLength = 0;
  uint16_t commentLength = 0;
  uint16_t diskNumberStart = 0;
  uint16_t internalAttributes = 0;
  uint32_t externalAttributes = 0;
  uint64_t localHeaderOffset = 0;  // likewise
  bool zip64 = false;              // carries a ZIP64 extra field
  char* name = nullptr;             // nameLength bytes, no terminator
  const uint8_t* extra = nullptr;   // extraLength bytes
  const uint8_t* comment = nullptr;  // commentLength bytes
};

// The fixed part of a central header; name, extra and comment left null.
CentralHeader ParseCentralHeaderFixed(ByteReader fixed);
// A whole central header at the start of bytes: false when its fixed part, name, extra field
// or comment would run past the bytes given. *size receives the header's stored length.
bool ParseCentralHeader(uint8_t* bytes, size_t available, CentralHeader* header, uint32_t* size);
// The stored length of the header that starts at bytes (which hold its fixed part at least).
uint32_t CentralHeaderSize(const uint8_t* fixed);

// A local header's fixed part.
struct LocalHeader {
  uint32_t signature = 0;
  uint16_t versionNeeded = 0;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint32_t dosDateTime = 0;
  uint32_t crc32 = 0;
  uint32_t compressedSize = 0;
  uint32_t uncompressedSize = 0;
  uint16_t nameLength = 0;
  uint16_t extraLength = 0;
};

LocalHeader ParseLocalHeader(ByteReader fixed);

// The data of the first extra record of id, or a failed reader when there is none. Records are
// {id, size, data}; a record that runs past the field ends the walk.
ByteReader FindExtraRecord(const uint8_t* extra, size_t length, uint16_t id);

// What the ZIP64 extra field of a header held for the fields asked for (a null pointer is not
// asked for; a value is asked for only when saturated, and is then replaced, in the order
// uncompressed size, compressed size, offset, disk).
enum class Zip64Extra {
  kAbsent,    // no ZIP64 extra field: the values stay as stored
  kApplied,   // the field is there and held every value asked for
  kTooShort,  // the field is there but ends before a value asked for
};
Zip64Extra ApplyZip64Extra(const uint8_t* extra, size_t length, uint64_t* uncompressedSize,
                           uint64_t* compressedSize, uint64_t* offset, uint32_t* disk);
// A central header's saturated fields replaced from its ZIP64 extra field; sets header->zip64.
Zip64Extra ApplyZip64Extra(CentralHeader* header);
