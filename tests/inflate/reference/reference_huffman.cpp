// Decoding tables for canonical Huffman codes: an 8-bit primary table plus an overflow tree.
#include "reference_huffman.h"

#include <cstring>

namespace inflate_reference {

namespace {

uint32_t ReverseBits(uint32_t code, unsigned length) {
  uint32_t reversed = 0;
  for (unsigned i = 0; i < length; ++i) {
    reversed = (reversed << 1) | (code & 1);
    code >>= 1;
  }
  return reversed;
}

// Hangs the leaf of a code longer than 8 bits below its primary entry, taking fresh node pairs
// from the tree as needed. Fails instead of overwriting or walking past the tree's end.
int PlaceLongCode(uint32_t reversed, unsigned length, uint16_t leaf, const HuffmanTable& table,
                  uint32_t& nextPair) {
  uint16_t* slot = &table.primary[reversed & (kPrimaryEntries - 1)];
  for (unsigned bit = kPrimaryBits; bit < length; ++bit) {
    if (*slot == kUnused) {
      if (!table.tree || nextPair + 2 > table.treeEntries) return 1;
      table.tree[nextPair] = kUnused;
      table.tree[nextPair + 1] = kUnused;
      *slot = static_cast<uint16_t>(~nextPair);
      nextPair += 2;
    } else if (!IsNode(*slot)) {
      return 1;  // a shorter code already owns this prefix
    }
    const uint32_t pair = static_cast<uint16_t>(~*slot);
    slot = &table.tree[pair + ((reversed >> bit) & 1)];
  }
  if (*slot != kUnused) return 1;
  *slot = leaf;
  return 0;
}

}  // namespace

int BuildHuffmanTable(uint32_t count, const uint8_t* lengths, uint16_t* codes, const HuffmanTable& table) {
  uint32_t lengthCount[kMaxCodeLength + 1] = {};
  uint32_t used = 0;
  for (uint32_t symbol = 0; symbol < count; ++symbol) {
    const unsigned length = lengths[symbol];
    if (length > kMaxCodeLength) return 1;
    if (length) {
      ++lengthCount[length];
      ++used;
    }
  }

  // The Kraft sum in units of 2^-15, in 32 bits: a code is complete exactly when it is 2^15.
  // Counting modulo 2^16 would let some over-subscribed codes through (four codes of length 1).
  uint32_t kraft = 0;
  for (unsigned length = 1; length <= kMaxCodeLength; ++length) {
    kraft += lengthCount[length] << (kMaxCodeLength - length);
  }
  if (kraft != (1u << kMaxCodeLength) && used > 1) return 1;

  uint32_t nextCode[kMaxCodeLength + 1] = {};
  uint32_t code = 0;
  for (unsigned length = 1; length <= kMaxCodeLength; ++length) {
    code = (code + lengthCount[length - 1]) << 1;
    nextCode[length] = code;
  }
  // Input bits arrive least significant first, so tables are indexed by the reversed code.
  for (uint32_t symbol = 0; symbol < count; ++symbol) {
    const unsigned length = lengths[symbol];
    if (length) codes[symbol] = static_cast<uint16_t>(ReverseBits(nextCode[length]++, length));
  }

  std::memset(table.primary, 0, kPrimaryEntries * sizeof(uint16_t));
  uint32_t nextPair = 0;
  for (uint32_t symbol = count; symbol-- > 0;) {
    const unsigned length = lengths[symbol];
    if (!length) continue;
    const uint16_t leaf = LeafEntry(symbol, length);
    const uint32_t reversed = codes[symbol];
    if (length <= kPrimaryBits) {
      for (uint32_t index = reversed; index < kPrimaryEntries; index += 1u << length) {
        table.primary[index] = leaf;
      }
    } else if (PlaceLongCode(reversed, length, leaf, table, nextPair)) {
      return 1;
    }
  }
  return 0;
}

}  // namespace inflate_reference
