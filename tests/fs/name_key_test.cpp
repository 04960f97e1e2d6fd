// The comparison keys of names: 1252 characters keep their bytes, the others come after them
// and fold as Windows upper-cases them.
#include "fs/name_key.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<uint32_t> Keys(const std::string& text) {
  std::vector<uint32_t> keys;
  const unsigned char* at = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned char* end = at + text.size();
  while (at < end) keys.push_back(NextNameKey(&at, end));
  return keys;
}

TEST(NameKey, CharactersOf1252KeepTheirBytes) {
  EXPECT_EQ(Keys(u8"aÃ€Ÿ"), (std::vector<uint32_t>{'a', 0xC3, 0x80, 0x9F}));
  EXPECT_EQ(Keys(u8"Ж😀"), (std::vector<uint32_t>{kKeyBeyondAnsi + 0x416, kKeyBeyondAnsi + 0x1F600}));
  // A byte that starts no sequence stands for itself, after every character.
  EXPECT_EQ(Keys("a\xE9" "b"), (std::vector<uint32_t>{'a', kKeyStrayByte + 0xE9, 'b'}));
}

TEST(NameKey, UpperCaseBeyond1252) {
  struct Row {
    const char* lower;
    const char* upper;
  } rows[] = {
      {u8"ж", u8"Ж"}, {u8"щ", u8"Щ"}, {u8"ё", u8"Ё"}, {u8"ѣ", u8"Ѣ"},  // Cyrillic
      {u8"α", u8"Α"}, {u8"ω", u8"Ω"}, {u8"ς", u8"Σ"}, {u8"ά", u8"Ά"},  // Greek
      {u8"ā", u8"Ā"}, {u8"ł", u8"Ł"}, {u8"ž", u8"ž"}, {u8"ő", u8"Ő"},  // Latin (ž is 1252)
      {u8"ա", u8"Ա"}, {u8"ｚ", u8"Ｚ"},                                  // Armenian, full width
      {u8"日", u8"日"}, {u8"😀", u8"😀"},                                // no case
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.lower);
    const uint32_t lower = Keys(row.lower).at(0);
    const uint32_t upper = Keys(row.upper).at(0);
    EXPECT_EQ(UpperBeyondAnsi(lower), UpperBeyondAnsi(upper));
    EXPECT_EQ(UpperBeyondAnsi(upper), upper);
  }
  // 1252 keys are the callers' business.
  EXPECT_EQ(UpperBeyondAnsi('a'), static_cast<uint32_t>('a'));
  EXPECT_EQ(UpperBeyondAnsi(0xE3), 0xE3u);
}

// The case rule (what is one file on Windows) and the order key (how entries are sorted and
// matched), over one table of pairs: the order key keeps é and É apart, as it always did.
TEST(NameKey, TheCaseRuleAndTheOrderKey) {
  struct Row {
    const char* a;
    const char* b;
    bool oneFile;    // equal under UpperNameKey
    bool sameOrder;  // equal under OrderNameKey
  } rows[] = {
      {"a", "A", true, true},       {"_", "_", true, true},
      {u8"é", u8"É", true, false},   {u8"š", u8"Š", true, false},   {u8"ÿ", u8"Ÿ", true, false},
      {u8"œ", u8"Œ", true, false},   {u8"÷", u8"×", false, false},  {u8"ж", u8"Ж", true, true},
      {u8"ł", u8"Ł", true, true},    {"a", "b", false, false},      {u8"é", "e", false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.a) + " " + row.b);
    const uint32_t a = Keys(row.a).at(0), b = Keys(row.b).at(0);
    EXPECT_EQ(UpperNameKey(a) == UpperNameKey(b), row.oneFile);
    EXPECT_EQ(OrderNameKey(a) == OrderNameKey(b), row.sameOrder);
  }
  // ASCII letters order after '_' and the other signs between 'Z' and 'a', as they always did.
  EXPECT_LT(OrderNameKey('_'), OrderNameKey('A'));
  EXPECT_TRUE(SameNameIgnoringCase(u8"dir/Жук.TXT", u8"DIR/жук.txt"));
  EXPECT_FALSE(SameNameIgnoringCase(u8"dir/Жук.txt", u8"dir/Жук.txt2"));
  EXPECT_FALSE(SameNameIgnoringCase(u8"dir/a.txt", u8"dir/b.txt"));
}

}  // namespace
