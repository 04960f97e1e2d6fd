// A minimal reader of a ZIP file's central directory for the benchmark programs: each entry's
// method, sizes, CRC and where its data lies. Benchmark-only; the product has its own reader.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

struct Entry {
  uint16_t flags;
  uint16_t method;
  uint32_t crc;
  uint32_t compressedSize;
  uint32_t uncompressedSize;
  uint64_t dataOffset;
};

// The entries of the archive at path, or none when it is not a ZIP file it can read.
std::vector<Entry> ReadEntries(std::FILE* file);
bool ReadAt(std::FILE* file, uint64_t offset, void* buffer, size_t size);

}  // namespace bench
