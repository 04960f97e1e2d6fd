// One central-directory file header built in memory, for tests that hand an entry straight to
// the engine without an archive around it. Test-only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zip/records.h"

// The fixed fields of one central header, to be laid out in bytes.
struct CentralHeaderFields {
  std::string name;
  uint16_t versionMadeBy = 20;  // MS-DOS host
  uint16_t versionNeeded = 20;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint32_t dosDateTime = 0x5A2B6000;  // 2025-01-11 12:00:00
  uint32_t crc32 = 0;
  uint32_t compressedSize = 0;
  uint32_t uncompressedSize = 0;
  uint16_t internalAttributes = 0;
  uint32_t externalAttributes = 0x20;
  uint32_t localHeaderOffset = 0;
};

// Owns the bytes: 46 fixed bytes, then the name; no extra field, no comment.
class CentralHeaderBytes {
 public:
  explicit CentralHeaderBytes(const CentralHeaderFields& fields);
  const CentralHeader* get() const { return &header_; }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  CentralHeader header_;
};

// The common cases: a file or directory entry by name, other fields at their defaults.
CentralHeaderFields EntryNamed(const std::string& name);
