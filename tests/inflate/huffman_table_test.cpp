// The decoding tables: every code of a complete code decodes to its symbol with its length,
// through the wide primary table or a subtable, and the shapes that need the most subtable room
// fit; bad codes are refused and the free patterns of a lone code stay invalid.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "inflate/huffman.h"
#include "inflate_harness.h"

namespace inflate_test {
namespace {

using namespace inflate_detail;

// Lengths of a random complete code of `symbols` symbols: leaves split at random, none deeper
// than 15, then dealt to the symbols in random order.
std::vector<uint8_t> RandomCompleteCode(unsigned symbols, std::mt19937& generator) {
  std::vector<uint8_t> leaves{1, 1};
  while (leaves.size() < symbols) {
    const size_t at = generator() % leaves.size();
    if (leaves[at] == kMaxCodeLength) continue;
    ++leaves[at];
    leaves.push_back(leaves[at]);
  }
  std::shuffle(leaves.begin(), leaves.end(), generator);
  return leaves;
}

uint32_t Reverse(uint32_t code, unsigned length) {
  uint32_t reversed = 0;
  for (unsigned i = 0; i < length; ++i) reversed |= ((code >> i) & 1) << (length - 1 - i);
  return reversed;
}

// The entry a table gives for the reversed code, and the code bits it takes in all.
std::pair<uint32_t, unsigned> Lookup(const std::vector<uint32_t>& table, unsigned rootBits, uint32_t reversed) {
  uint32_t entry = table[reversed & ((1u << rootBits) - 1)];
  if (EntryKind(entry) != kKindSubtable) return {entry, EntryCodeBits(entry)};
  const unsigned subBits = EntryCodeBits(entry);
  entry = table[EntryValue(entry) + ((reversed >> rootBits) & ((1u << subBits) - 1))];
  return {entry, rootBits + EntryCodeBits(entry)};
}

void ExpectEveryCodeDecodes(TableKind kind, const std::vector<uint8_t>& lengths) {
  const unsigned rootBits = kind == TableKind::kDistance ? kDistanceTableBits : kLitLenTableBits;
  std::vector<uint32_t> table(kind == TableKind::kDistance ? kDistanceTableEntries : kLitLenTableEntries, 0xDEADBEEF);
  ASSERT_EQ(BuildTable(kind, lengths.data(), static_cast<uint32_t>(lengths.size()), table.data()), 0);
  const auto codes = CanonicalCodes(lengths);
  for (unsigned symbol = 0; symbol < lengths.size(); ++symbol) {
    if (!lengths[symbol]) continue;
    const auto [entry, bits] = Lookup(table, rootBits, Reverse(codes[symbol].first, lengths[symbol]));
    ASSERT_EQ(bits, lengths[symbol]) << symbol;
    if (kind == TableKind::kDistance) {
      const uint32_t base = symbol < 4 ? symbol + 1 : (((symbol & 1) + 2) << (symbol / 2 - 1)) + 1;
      ASSERT_EQ(EntryValue(entry), base) << symbol;
    } else if (symbol < 256) {
      ASSERT_EQ(EntryKind(entry), kKindLiteral) << symbol;
      ASSERT_EQ(EntryValue(entry), symbol);
    } else if (symbol == 256) {
      ASSERT_EQ(EntryKind(entry), kKindEndOfBlock);
    } else if (symbol >= 286) {
      ASSERT_EQ(EntryKind(entry), kKindInvalid) << symbol;
    }
  }
}

std::vector<uint8_t> Runs(std::initializer_list<std::pair<uint8_t, unsigned>> runs) {
  std::vector<uint8_t> lengths;
  for (const auto& run : runs) lengths.insert(lengths.end(), run.second, run.first);
  return lengths;
}

TEST(InflateHuffmanTable, RandomCompleteCodesDecodeEverySymbol) {
  std::mt19937 generator(7);
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE(round);
    ExpectEveryCodeDecodes(TableKind::kLitLen, RandomCompleteCode(288, generator));
    ExpectEveryCodeDecodes(TableKind::kLitLen, RandomCompleteCode(257 + generator() % 31, generator));
    ExpectEveryCodeDecodes(TableKind::kDistance, RandomCompleteCode(2 + generator() % 31, generator));
  }
}

// The shapes that need the most subtable room: many long codes below the primary width.
TEST(InflateHuffmanTable, CodesWithManyLongCodesFit) {
  ExpectEveryCodeDecodes(TableKind::kLitLen, Runs({{7, 95}, {8, 65}, {15, 128}}));
  // 128 codes of 15 bits filling eight subtables of 16 entries.
  ExpectEveryCodeDecodes(TableKind::kLitLen, Runs({{7, 126}, {11, 24}, {15, 128}}));
  ExpectEveryCodeDecodes(TableKind::kLitLen, Runs({{1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {6, 1}, {7, 1},
                                                   {8, 1}, {9, 1}, {10, 1}, {11, 1}, {12, 1}, {13, 1},
                                                   {14, 1}, {15, 2}}));
  ExpectEveryCodeDecodes(TableKind::kDistance, Runs({{1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {6, 1}, {7, 1},
                                                     {8, 1}, {12, 8}, {13, 16}}));
}

TEST(InflateHuffmanTable, BadCodesAreRefusedAndLoneCodesLeaveInvalidPatterns) {
  std::vector<uint32_t> table(kLitLenTableEntries);
  const std::vector<uint8_t> overSubscribed = Runs({{1, 3}});
  EXPECT_EQ(BuildTable(TableKind::kDistance, overSubscribed.data(), 3, table.data()), 1);
  const std::vector<uint8_t> incomplete = Runs({{2, 3}});
  EXPECT_EQ(BuildTable(TableKind::kDistance, incomplete.data(), 3, table.data()), 1);
  const std::vector<uint8_t> tooLong = {16, 1};
  EXPECT_EQ(BuildTable(TableKind::kDistance, tooLong.data(), 2, table.data()), 1);

  // One code of length 1 or of length 13: its own pattern decodes, every other one is invalid.
  for (uint8_t length : {1, 13}) {
    std::vector<uint8_t> lone(30, 0);
    lone[5] = length;
    ASSERT_EQ(BuildTable(TableKind::kDistance, lone.data(), 30, table.data()), 0);
    for (uint32_t pattern = 0; pattern < (1u << 15); pattern += 7) {
      const auto [entry, bits] = Lookup(table, kDistanceTableBits, pattern);
      const bool own = (pattern & ((1u << length) - 1)) == 0;
      ASSERT_EQ(entry == kInvalidEntry, !own) << pattern;
      if (own) {
        EXPECT_EQ(bits, length);
      }
    }
  }
  const std::vector<uint8_t> none(32, 0);
  ASSERT_EQ(BuildTable(TableKind::kDistance, none.data(), 32, table.data()), 0);
  EXPECT_EQ(table[0], kInvalidEntry);
  EXPECT_EQ(table[255], kInvalidEntry);
}

}  // namespace
}  // namespace inflate_test
