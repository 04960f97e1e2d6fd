// Canonical Huffman decoding tables of the decoder, inside the decoder's work buffer. Internal to
// inflate/.
#pragma once

#include <cstdint>

#include "inflate/inflate.h"

namespace inflate_detail {

constexpr uint32_t kMaxCodeLength = 15;

// Wide primary tables decode most codes with one lookup. A code longer than the primary width
// continues in a subtable of its own prefix, reached through a pointer entry: two lookups at most.
constexpr unsigned kLitLenTableBits = 11;
constexpr unsigned kDistanceTableBits = 8;
constexpr unsigned kCodeLengthTableBits = 7;  // code-length codes are at most 7 bits: no subtables

// Entries a table can need: the primary table plus the subtables of the worst complete code of
// that many symbols (288 lit/len, 32 distance symbols), rounded up. A code that would need more
// is refused; no complete code does.
constexpr uint32_t kLitLenTableEntries = 2560;
constexpr uint32_t kDistanceTableEntries = 512;
constexpr uint32_t kCodeLengthTableEntries = 1u << kCodeLengthTableBits;

// Where everything lives in the work buffer. The wide tables take 12.8 KB: more than the 10240
// bytes the narrow tables with one-bit trees needed, so the work buffer grew to kInflateWorkSize
// (still allocated once per run, never per entry).
constexpr uint32_t kLitLenTableOffset = 0;
constexpr uint32_t kDistanceTableOffset = kLitLenTableOffset + kLitLenTableEntries * 4;
constexpr uint32_t kCodeLengthTableOffset = kDistanceTableOffset + kDistanceTableEntries * 4;
constexpr uint32_t kLengthsOffset = kCodeLengthTableOffset + kCodeLengthTableEntries * 4;
constexpr uint32_t kLengthsSize = 320;  // the 288 + 32 lengths of a dynamic header
// A copy of the window as it was last handed over whole: the fast loop's word copies may run past
// a match's end (decode_fast.cpp), and these are the bytes they overwrite.
constexpr uint32_t kHistoryOffset = kLengthsOffset + kLengthsSize;
constexpr uint32_t kHistorySize = kInflateWindowSize;
constexpr uint32_t kWorkUsed = kHistoryOffset + kHistorySize;
static_assert(kWorkUsed <= kInflateWorkSize, "the work buffer holds the tables and the history");

// A table entry, 32 bits:
//   bits 0-7    bits to consume: the code's length plus the extra bits of its symbol
//               (a subtable pointer: the primary width)
//   bits 8-11   the code's length alone (a subtable pointer: the subtable's width)
//   bits 12-15  the kind
//   bits 16-31  the value: a literal byte, a length or distance base, a code-length symbol, or
//               the index where a subtable starts
// Entries in a subtable count only the bits after the primary width.
constexpr uint32_t kKindLiteral = 0x8000;
constexpr uint32_t kKindSubtable = 0x4000;
constexpr uint32_t kKindEndOfBlock = 0x2000;
constexpr uint32_t kKindInvalid = 0x1000;  // a bit pattern of no code, or a symbol of no meaning
// Deflate64's symbol 285: 16 extra bits give the length, and the value 0 is a flush marker.
constexpr uint32_t kKindLength64 = kKindEndOfBlock | kKindInvalid;
constexpr uint32_t kKindSpecial = kKindEndOfBlock | kKindInvalid;  // any of the three above
constexpr uint32_t kInvalidEntry = kKindInvalid;

inline unsigned EntryTotalBits(uint32_t entry) { return entry & 0xFF; }
inline unsigned EntryCodeBits(uint32_t entry) { return (entry >> 8) & 0x0F; }
inline unsigned EntryExtraBits(uint32_t entry) { return EntryTotalBits(entry) - EntryCodeBits(entry); }
inline uint32_t EntryValue(uint32_t entry) { return entry >> 16; }
inline uint32_t EntryKind(uint32_t entry) { return entry & 0xF000; }

enum class TableKind { kLitLen, kLitLen64, kDistance, kCodeLength };

// Builds the table of the canonical code given by lengths[0..count) (0 = symbol unused, at most
// 15, count at most 288). Returns 0, or 1 when the lengths describe no usable code: over-subscribed,
// or incomplete with more than one code. A single code and no code at all are accepted; the bit
// patterns they leave free decode as kInvalidEntry.
int BuildTable(TableKind kind, const uint8_t* lengths, uint32_t count, uint32_t* table);

}  // namespace inflate_detail
