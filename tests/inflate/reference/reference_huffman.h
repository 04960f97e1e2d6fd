// Canonical Huffman tables of the decoder, inside the decoder's work buffer. Internal to inflate/.
#pragma once

#include <cstdint>

namespace inflate_reference {

// Where everything lives in the 10240-byte work buffer; nothing else is allocated.
constexpr uint32_t kWorkSize = 10240;
constexpr uint32_t kLitLenLengthsOffset = 0;       // 320 bytes: room for the 288 + 32 lengths of a header
constexpr uint32_t kCodeLengthTableOffset = 320;   // 256 entries
constexpr uint32_t kCodesOffset = 832;             // 288 codes while a table is built
constexpr uint32_t kDistanceLengthsOffset = 1408;  // 32 bytes; the 19 code-length-code lengths before that
constexpr uint32_t kDistanceTableOffset = 1440;    // 256 entries
constexpr uint32_t kDistanceTreeOffset = 1952;     // 64 entries
constexpr uint32_t kLitLenTableOffset = 2080;      // 256 entries
constexpr uint32_t kLitLenTreeOffset = 2592;       // 3824 entries, to the end of the buffer

constexpr uint32_t kLitLenLengthsSize = 320;
constexpr uint32_t kDistanceTreeEntries = 64;
constexpr uint32_t kLitLenTreeEntries = 3824;

constexpr uint32_t kPrimaryBits = 8;  // a primary table is indexed with the next 8 input bits
constexpr uint32_t kPrimaryEntries = 1u << kPrimaryBits;
constexpr uint32_t kMaxCodeLength = 15;

// A table or tree entry is one of:
//   0                  an unused bit pattern (a code that is not complete);
//   bit 15 clear       a leaf: symbol in bits 0 to 8, its code length (1 to 15) in bits 9 to 12;
//   bit 15 set         a node: the complement of the tree index of a pair of entries, one for the
//                      next input bit 0 and one for 1.
// Codes of up to 8 bits are leaves of the primary table; longer ones continue in the tree one bit
// per step.
constexpr uint16_t kUnused = 0;
constexpr uint16_t kNodeFlag = 0x8000;
constexpr uint16_t kSymbolMask = 0x01FF;
constexpr unsigned kLengthShift = 9;

inline uint16_t LeafEntry(unsigned symbol, unsigned length) {
  return static_cast<uint16_t>(symbol | (length << kLengthShift));
}
inline unsigned EntrySymbol(uint16_t entry) { return entry & kSymbolMask; }
inline unsigned EntryLength(uint16_t entry) { return (entry >> kLengthShift) & 0x0F; }
inline bool IsNode(uint16_t entry) { return (entry & kNodeFlag) != 0; }

// A table being built: the primary table and the tree its long codes continue in (none for the
// code-length code, whose codes are at most 7 bits).
struct HuffmanTable {
  uint16_t* primary;      // kPrimaryEntries entries
  uint16_t* tree;         // or nullptr
  uint32_t treeEntries;   // capacity of tree, in entries
};

// Builds the decoding table of the canonical code given by lengths[0..count) (0 = symbol unused).
// codes is scratch room for count uint16 values. Returns 0, or 1 when the lengths describe no
// usable code: over-subscribed or incomplete with more than one code, or more long codes than the
// tree can hold. A single code and no code at all are accepted; the bit patterns they leave free
// read as kUnused.
int BuildHuffmanTable(uint32_t count, const uint8_t* lengths, uint16_t* codes, const HuffmanTable& table);

}  // namespace inflate_reference
