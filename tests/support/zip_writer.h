// A small ZIP writer for crafted archives: every field can be set, so one fixture shows one
// fault. Test-only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One entry as the writer is to put it down: the plan of its bytes, field by field.
struct ZipEntryPlan {
  std::string name;
  std::string data;          // the uncompressed bytes (the CRC and size come from these)
  uint16_t method = 0;       // 0 stores data; 8 deflates it with zlib unless `compressed` is set
  std::string compressed;    // raw bytes to store instead of the computed ones
  bool useCompressed = false;
  uint16_t flags = 0;
  uint16_t versionMadeBy = 20;  // MS-DOS host
  uint16_t versionNeeded = 20;
  uint32_t dosDateTime = 0x5A2B6000;  // 2025-01-11 12:00:00
  uint16_t internalAttributes = 0;
  uint32_t externalAttributes = 0x20;
  std::string localExtra;
  std::string centralExtra;
  std::string comment;
  const char* password = nullptr;  // traditional encryption of the stored bytes
  // Overrides, applied after the computed values.
  bool overrideCrc = false;
  uint32_t crc = 0;
  bool overrideLocalCrc = false;
  uint32_t localCrc = 0;
  bool overrideCompressedSize = false;
  uint32_t compressedSize = 0;
  bool overrideUncompressedSize = false;
  uint32_t uncompressedSize = 0;
  // ZIP64: the fields named in zip64Fields (kZip64*) are saturated in both headers and their
  // values go in a ZIP64 extra field ahead of the extras above; zip64Cut drops that many bytes
  // from the end of the central one.
  unsigned zip64Fields = 0;
  size_t zip64Cut = 0;
};
constexpr unsigned kZip64Uncompressed = 1;
constexpr unsigned kZip64Compressed = 2;
constexpr unsigned kZip64Offset = 4;  // central header only

struct ZipLayout {
  std::vector<uint32_t> localOffsets;  // of each entry's local header
  uint32_t directoryOffset = 0;
  uint32_t directorySize = 0;
  uint32_t endOffset = 0;  // of the end record
  uint32_t zip64EndOffset = 0;  // of the ZIP64 end record (BuildZip64)
  uint32_t locatorOffset = 0;   // of the ZIP64 locator (BuildZip64)
};

// Builds prefix + local entries + central directory + end record. Offsets are absolute in the
// result (the prefix counts), as in a self-extracting archive.
std::string BuildZip(const std::vector<ZipEntryPlan>& entries, const std::string& prefix = "",
                     const std::string& archiveComment = "", ZipLayout* layout = nullptr);

// As BuildZip, ending as a ZIP64 archive does: the ZIP64 end record and its locator, then an end
// record whose figures named in saturated (kEnd* bits) are saturated, the others true.
constexpr unsigned kEndCount = 1;
constexpr unsigned kEndSize = 2;
constexpr unsigned kEndOffset = 4;
std::string BuildZip64(const std::vector<ZipEntryPlan>& entries, unsigned saturated,
                       ZipLayout* layout = nullptr);
std::string Le64(uint64_t v);

// Raw Deflate (no zlib header) of data, level 9.
std::string DeflateRaw(const std::string& data);
uint32_t ReferenceCrc32(const std::string& data);
uint16_t DosDate(int year, int month, int day);
uint16_t DosTime(int hour, int minute, int second);

std::string Le16(uint16_t v);
std::string Le32(uint32_t v);

// One entry of the given name, data and method (0 stored, 8 deflated), the rest as defaults.
ZipEntryPlan EntryOf(const std::string& name, const std::string& data, uint16_t method);

// Bytes that a stored copy or a decoder gone wrong would not reproduce by chance: in every
// period bytes, a run of `letters` letters then pseudo-random bytes from seed.
std::string MixedBytes(size_t size, unsigned seed, size_t period, size_t letters);
