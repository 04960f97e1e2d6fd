// Decoding tables for canonical Huffman codes: a wide primary table indexed by the next input
// bits (least significant first), with subtables for the codes longer than its width.
#include "inflate/huffman.h"

#include <cstring>

namespace inflate_detail {

namespace {

constexpr unsigned kLengthSymbolBase = 257;
constexpr unsigned kLastLengthSymbol = 285;

struct TableShape {
  unsigned rootBits;
  uint32_t capacity;
};

TableShape ShapeOf(TableKind kind) {
  switch (kind) {
    case TableKind::kDistance:
      return {kDistanceTableBits, kDistanceTableEntries};
    case TableKind::kCodeLength:
      return {kCodeLengthTableBits, kCodeLengthTableEntries};
    default:
      return {kLitLenTableBits, kLitLenTableEntries};
  }
}

uint32_t Make(uint32_t kind, uint32_t value, unsigned extraBits) {
  return value << 16 | kind | extraBits;
}

// What a symbol decodes to, before its code length is added in.
uint32_t SymbolEntry(TableKind kind, unsigned symbol) {
  if (kind == TableKind::kCodeLength) return Make(0, symbol, 0);
  if (kind == TableKind::kDistance) {
    // Symbols 30 and 31 reach 32769 to 65536 back, in Deflate streams too.
    if (symbol < 4) return Make(0, symbol + 1, 0);
    const unsigned extra = symbol / 2 - 1;
    return Make(0, (((symbol & 1) + 2) << extra) + 1, extra);
  }
  if (symbol < 256) return Make(kKindLiteral, symbol, 0);
  if (symbol == 256) return Make(kKindEndOfBlock, 0, 0);
  if (symbol <= 264) return Make(0, symbol - 254, 0);
  if (symbol < kLastLengthSymbol) {
    const unsigned extra = (symbol - 261) / 4;
    return Make(0, ((((symbol - kLengthSymbolBase) & 3) + 4) << extra) + 3, extra);
  }
  if (symbol == kLastLengthSymbol) {
    return kind == TableKind::kLitLen64 ? Make(kKindLength64, 3, 16) : Make(0, 258, 0);
  }
  return kInvalidEntry;  // 286 and 287 have codes in the fixed code but no meaning
}

// What every symbol of every kind of table decodes to, worked out once at start-up (kept out of
// the program file, which every archive carries).
struct SymbolEntries {
  uint32_t litLen[288];
  uint32_t litLen64[288];
  uint32_t distance[32];
  uint32_t codeLength[19];

  SymbolEntries() {
    for (unsigned s = 0; s < 288; ++s) litLen[s] = SymbolEntry(TableKind::kLitLen, s);
    for (unsigned s = 0; s < 288; ++s) litLen64[s] = SymbolEntry(TableKind::kLitLen64, s);
    for (unsigned s = 0; s < 32; ++s) distance[s] = SymbolEntry(TableKind::kDistance, s);
    for (unsigned s = 0; s < 19; ++s) codeLength[s] = SymbolEntry(TableKind::kCodeLength, s);
  }
  const uint32_t* of(TableKind kind) const {
    switch (kind) {
      case TableKind::kLitLen:
        return litLen;
      case TableKind::kLitLen64:
        return litLen64;
      case TableKind::kDistance:
        return distance;
      default:
        return codeLength;
    }
  }
};
const SymbolEntries kSymbolEntries;

// The next code of the same length, in reversed bit order: adding 1 to a code reversed.
uint32_t NextReversed(uint32_t code, unsigned length) {
  uint32_t bit = 1u << (length - 1);
  while (code & bit) bit >>= 1;
  return bit ? (code & (bit - 1)) | bit : 0;
}

}  // namespace

int BuildTable(TableKind kind, const uint8_t* lengths, uint32_t count, uint32_t* table) {
  const TableShape shape = ShapeOf(kind);
  const unsigned root = shape.rootBits;
  const uint32_t rootSize = 1u << root;

  const uint32_t* const entries = kSymbolEntries.of(kind);
  // Counted in two sets, even and odd symbols: runs of one length would otherwise wait on the
  // count just stored.
  uint32_t counts[2][16] = {};
  unsigned longest = 0;
  uint32_t symbol = 0;
  for (; symbol + 1 < count; symbol += 2) {
    ++counts[0][lengths[symbol] & 15];
    ++counts[1][lengths[symbol + 1] & 15];
    longest |= lengths[symbol] | lengths[symbol + 1];
  }
  if (symbol < count) {
    ++counts[0][lengths[symbol] & 15];
    longest |= lengths[symbol];
  }
  if (longest > kMaxCodeLength) return 1;
  uint32_t lengthCount[kMaxCodeLength + 1];
  for (unsigned length = 0; length <= kMaxCodeLength; ++length) lengthCount[length] = counts[0][length] + counts[1][length];
  const uint32_t used = count - lengthCount[0];

  // The Kraft sum in units of 2^-15: a code is complete exactly when it is 2^15.
  uint32_t kraft = 0;
  for (unsigned length = 1; length <= kMaxCodeLength; ++length) {
    kraft += lengthCount[length] << (kMaxCodeLength - length);
  }
  if (kraft != (1u << kMaxCodeLength) && used > 1) return 1;

  // Symbols sorted by code length, in symbol order within a length: the canonical order.
  uint16_t sorted[288];
  uint32_t next[kMaxCodeLength + 2] = {};
  for (unsigned length = 1; length <= kMaxCodeLength; ++length) {
    next[length + 1] = next[length] + lengthCount[length];
  }
  for (uint32_t symbol = 0; symbol < count; ++symbol) {
    if (lengths[symbol]) sorted[next[lengths[symbol]]++] = static_cast<uint16_t>(symbol);
  }

  // A complete code covers every entry; the free patterns of a lone code must read as invalid.
  const bool incomplete = used <= 1;
  if (incomplete) {
    for (uint32_t i = 0; i < rootSize; ++i) table[i] = kInvalidEntry;
  }

  uint32_t code = 0;  // the current code, reversed: the input arrives least significant bit first
  uint32_t index = 0;
  unsigned length = 1;
  if (incomplete) {
    // At most one code: it fills its own entries, everything else stays invalid.
    for (; length <= root; ++length) {
      for (uint32_t n = lengthCount[length]; n > 0; --n, --lengthCount[length]) {
        const uint32_t entry = entries[sorted[index++]] + length * 0x101;
        for (uint32_t i = code; i < rootSize; i += 1u << length) table[i] = entry;
        code = NextReversed(code, length);
      }
    }
  } else {
    // A complete code: the table grows from 2 entries by doubling, each doubling repeating the
    // shorter codes' entries, and each code of the current length is then stored once.
    uint32_t size = 2;
    for (; length <= root; ++length) {
      if (length > 1) {
        std::memcpy(table + size, table, size * sizeof *table);
        size *= 2;
      }
      for (uint32_t n = lengthCount[length]; n > 0; --n, --lengthCount[length]) {
        table[code] = entries[sorted[index++]] + length * 0x101;
        code = NextReversed(code, length);
      }
    }
  }

  uint32_t nextFree = rootSize;
  uint32_t subPrefix = rootSize;  // none yet
  uint32_t subStart = 0;
  unsigned subBits = 0;
  for (; length <= kMaxCodeLength; ++length) {
    for (uint32_t n = lengthCount[length]; n > 0; --n) {
      const uint32_t base = entries[sorted[index++]];
      const uint32_t prefix = code & (rootSize - 1);
      if (prefix != subPrefix) {
        // A new subtable, as wide as the codes below this prefix need: widen while the codes
        // of the lengths seen so far leave part of it unfilled.
        subBits = length - root;
        int32_t left = 1 << subBits;
        for (unsigned l = length; l < kMaxCodeLength; ++l) {
          left -= static_cast<int32_t>(lengthCount[l]);
          if (left <= 0) break;
          ++subBits;
          left <<= 1;
        }
        subStart = nextFree;
        nextFree += 1u << subBits;
        if (nextFree > shape.capacity) return 1;
        if (incomplete) {
          for (uint32_t i = subStart; i < nextFree; ++i) table[i] = kInvalidEntry;
        }
        table[prefix] = subStart << 16 | kKindSubtable | subBits << 8 | root;
        subPrefix = prefix;
      }
      const unsigned subLength = length - root;
      const uint32_t entry = base + subLength * 0x101;
      for (uint32_t i = code >> root; i < (1u << subBits); i += 1u << subLength) {
        table[subStart + i] = entry;
      }
      --lengthCount[length];  // the widening above counts only the codes still to come
      code = NextReversed(code, length);
    }
  }
  return 0;
}

}  // namespace inflate_detail
