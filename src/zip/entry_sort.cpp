// The order in which a run walks the entries.
#include <memory>
#include <new>
#include <utility>

#include "fs/name_key.h"
#include "options/run_options.h"
#include "zip/archive_state.h"

namespace {

// Compares the order keys (fs/name_key.h) of two texts up to the end of the shorter; 0 when that part is equal (or a
// NUL is met in both).
int CompareKeys(const char* a, uint32_t la, const char* b, uint32_t lb) {
  const unsigned char* pa = reinterpret_cast<const unsigned char*>(a);
  const unsigned char* pb = reinterpret_cast<const unsigned char*>(b);
  const unsigned char* ea = pa + la;
  const unsigned char* eb = pb + lb;
  while (pa < ea && pb < eb) {
    const uint32_t ca = OrderNameKey(NextNameKey(&pa, ea));
    const uint32_t cb = OrderNameKey(NextNameKey(&pb, eb));
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
  }
  return 0;
}

int CompareNames(const CentralHeader& a, const CentralHeader& b) {
  const int order = CompareKeys(a.name, a.nameLength, b.name, b.nameLength);
  if (order != 0) return order;
  return a.nameLength < b.nameLength ? -1 : a.nameLength > b.nameLength ? 1 : 0;
}

// The extension: what follows the last '.' of the last path component; null when there is none.
const char* Extension(const CentralHeader& h, uint32_t* length) {
  const char* name = h.name;
  for (uint32_t i = h.nameLength; i-- > 0;) {
    if (name[i] == '/') return nullptr;
    if (name[i] == '.') {
      *length = h.nameLength - i - 1;
      return name + i + 1;
    }
  }
  return nullptr;
}

int CompareExtensions(const CentralHeader& a, const CentralHeader& b) {
  uint32_t la = 0, lb = 0;
  const char* ea = Extension(a, &la);
  const char* eb = Extension(b, &lb);
  if (!ea && !eb) return CompareNames(a, b);
  if (!ea) return -1;
  if (!eb) return 1;
  const int order = CompareKeys(ea, la, eb, lb);
  if (order != 0) return order;
  if (la != lb) return la < lb ? -1 : 1;
  return CompareNames(a, b);
}

int CompareUnsigned(uint64_t a, uint64_t b) { return a < b ? -1 : a > b ? 1 : 0; }

// Natural order is the order of the entries' data in the file, or in the disk set.
int CompareNatural(const CentralHeader& a, const CentralHeader& b, bool spanned) {
  if (spanned && a.diskNumberStart != b.diskNumberStart) {
    return a.diskNumberStart < b.diskNumberStart ? -1 : 1;
  }
  return CompareUnsigned(a.localHeaderOffset, b.localHeaderOffset);
}

int CompareEntries(int key, bool spanned, const CentralHeader& a, const CentralHeader& b) {
  switch (key) {
    case kSortName: return CompareNames(a, b);
    case kSortExtension: return CompareExtensions(a, b);
    case kSortDate: return CompareUnsigned(a.dosDateTime, b.dosDateTime);
    case kSortSize: return CompareUnsigned(a.uncompressedSize, b.uncompressedSize);
    case kSortRatio:
      return compressionRatio(a.compressedSize, a.uncompressedSize) -
             compressionRatio(b.compressedSize, b.uncompressedSize);
    case kSortCrc: return CompareUnsigned(a.crc32, b.crc32);
    default: return CompareNatural(a, b, spanned);
  }
}

}  // namespace

void sortEntries(int key, CentralHeader* entries, uint32_t count, bool spanned) {
  // Entries with equal keys come out in the order this shuffle leaves them, as they always have.
  uint32_t half = count / 2;
  uint32_t j = 0;
  for (uint32_t i = 0; i < half; ++i) {
    j = (j + 32749) % half;
    std::swap(entries[j], entries[half + i]);
  }
  if (count < 2) return;
  key = key >= kSortDescending ? key - kSortDescending : key;
  // A stable merge sort, so that equal keys keep one order on every platform. It sorts the
  // entries' positions, not the entries: two arrays of 4 bytes an entry instead of a second copy
  // of the whole list, which was the largest allocation of a run over many entries. Runs of width
  // 1, 2, 4, ... are merged from one array into the other and back.
  std::unique_ptr<uint32_t[]> order(new (std::nothrow) uint32_t[count]);
  std::unique_ptr<uint32_t[]> scratch(new (std::nothrow) uint32_t[count]);
  if (!order || !scratch) return;  // the natural order stands
  for (uint32_t i = 0; i < count; ++i) order[i] = i;
  uint32_t* from = order.get();
  uint32_t* to = scratch.get();
  for (uint32_t width = 1; width < count; width *= 2) {
    for (uint32_t low = 0; low < count; low += 2 * width) {
      uint32_t middle = low + width < count ? low + width : count;
      uint32_t high = middle + width < count ? middle + width : count;
      uint32_t a = low, b = middle, out = low;
      while (a < middle && b < high) {
        to[out++] = CompareEntries(key, spanned, entries[from[b]], entries[from[a]]) < 0 ? from[b++]
                                                                                         : from[a++];
      }
      while (a < middle) to[out++] = from[a++];
      while (b < high) to[out++] = from[b++];
    }
    std::swap(from, to);
  }
  // Entry from[i] goes to place i: each cycle of the permutation is followed once, with one
  // entry held aside; a place already filled is marked by pointing at itself.
  for (uint32_t start = 0; start < count; ++start) {
    if (from[start] == start) continue;
    CentralHeader held = entries[start];
    uint32_t place = start;
    while (from[place] != start) {
      const uint32_t next = from[place];
      entries[place] = entries[next];
      from[place] = place;
      place = next;
    }
    entries[place] = held;
    from[place] = place;
  }
}

int compressionRatio(uint64_t compressedSize, uint64_t uncompressedSize) {
  uint64_t c = compressedSize, u = uncompressedSize;
  if (u == 0 || c > u) return 0;
  while (c > 4294967u) {
    c >>= 1;
    u >>= 1;
  }
  uint64_t saved = (c * 1000u) / u;
  return saved > 1000 ? 0 : static_cast<int>(1000 - saved);
}
