#include "zip_walk.h"

#include <cstring>

namespace bench {

namespace {

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) { return Le16(p) | static_cast<uint32_t>(Le16(p + 2)) << 16; }

}  // namespace

bool ReadAt(std::FILE* file, uint64_t offset, void* buffer, size_t size) {
  if (std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) return false;
  return std::fread(buffer, 1, size, file) == size;
}

std::vector<Entry> ReadEntries(std::FILE* file) {
  std::vector<Entry> entries;
  std::fseek(file, 0, SEEK_END);
  const uint64_t size = static_cast<uint64_t>(std::ftell(file));
  const uint64_t tail = size < 65557 ? size : 65557;
  std::vector<uint8_t> end(tail);
  if (!ReadAt(file, size - tail, end.data(), tail)) return entries;
  size_t at = tail >= 22 ? tail - 22 : 0;
  while (at > 0 && Le32(&end[at]) != 0x06054B50) --at;
  if (Le32(&end[at]) != 0x06054B50) return entries;
  const uint32_t count = Le16(&end[at + 10]);
  const uint32_t directorySize = Le32(&end[at + 12]);
  const uint32_t directoryOffset = Le32(&end[at + 16]);
  std::vector<uint8_t> directory(directorySize);
  if (!ReadAt(file, directoryOffset, directory.data(), directorySize)) return entries;
  size_t p = 0;
  for (uint32_t i = 0; i < count && p + 46 <= directory.size(); ++i) {
    const uint8_t* h = &directory[p];
    Entry entry{Le16(h + 8), Le16(h + 10), Le32(h + 16), Le32(h + 20), Le32(h + 24), 0};
    uint8_t local[30];
    if (!ReadAt(file, Le32(h + 42), local, sizeof local)) break;
    entry.dataOffset = Le32(h + 42) + 30u + Le16(local + 26) + Le16(local + 28);
    entries.push_back(entry);
    p += 46u + Le16(h + 28) + Le16(h + 30) + Le16(h + 32);
  }
  return entries;
}

}  // namespace bench
