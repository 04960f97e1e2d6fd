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

}  // namespace
