// The library harness of `make bench`: what the best available libraries do with an archive's
// entries, as one whole process, to time beside vespa-console -TEST. Deflate entries are decoded
// by libdeflate and checked with its CRC-32; stored entries are copied and checked with the same
// CRC-32 (carry-less multiply where the processor has it). Other entries are skipped.
// Exit code: 0 when every checked entry matched its CRC.
#include <libdeflate.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "zip_walk.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vespa-bench-harness ARCHIVE.zip\n");
    return 2;
  }
  std::FILE* file = std::fopen(argv[1], "rb");
  if (!file) return 2;
  const std::vector<bench::Entry> entries = bench::ReadEntries(file);
  libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
  std::vector<uint8_t> in, out;
  int bad = 0, skipped = 0;
  for (const bench::Entry& entry : entries) {
    if ((entry.flags & 1) || (entry.method != 0 && entry.method != 8)) {
      ++skipped;
      continue;
    }
    in.resize(entry.compressedSize + 1);
    out.resize(entry.uncompressedSize + 1);
    if (!bench::ReadAt(file, entry.dataOffset, in.data(), entry.compressedSize)) return 2;
    size_t produced = entry.uncompressedSize;
    if (entry.method == 0) {
      std::memcpy(out.data(), in.data(), entry.compressedSize);
      produced = entry.compressedSize;
    } else if (libdeflate_deflate_decompress(decompressor, in.data(), entry.compressedSize, out.data(),
                                             entry.uncompressedSize, &produced) != LIBDEFLATE_SUCCESS) {
      ++bad;
      continue;
    }
    if (libdeflate_crc32(0, out.data(), produced) != entry.crc) ++bad;
  }
  libdeflate_free_decompressor(decompressor);
  std::fclose(file);
  if (skipped) std::fprintf(stderr, "harness: %d entries skipped\n", skipped);
  return bad ? 1 : 0;
}
