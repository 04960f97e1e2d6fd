// The comparison keys of names beyond the ASCII range.
#include "fs/name_key.h"

#include <cstring>

#include "fs/codepage.h"

uint32_t NameKeySlow(const unsigned char** text, const unsigned char* end) {
  uint32_t c = 0;
  const size_t used =
      DecodeUtf8(reinterpret_cast<const char*>(*text), static_cast<size_t>(end - *text), 0, &c);
  if (used == 0) return kKeyStrayByte + *(*text)++;
  *text += used;
  const int ansi = AnsiByteOf(c);
  return ansi >= 0 ? static_cast<uint32_t>(ansi) : kKeyBeyondAnsi + c;
}

namespace {

// Pairs in which the upper-case letter has the even code point and the lower the odd one
// (or the other way round when oddUpper).
struct PairRange {
  uint32_t first;
  uint32_t last;
  bool oddUpper;
};

constexpr PairRange kPairs[] = {
    {0x0100, 0x012F, false}, {0x0132, 0x0137, false}, {0x0139, 0x0148, true},
    {0x014A, 0x0177, false}, {0x0179, 0x017E, true},  {0x0182, 0x0185, false},
    {0x01A0, 0x01A5, false}, {0x01CD, 0x01DC, true},  {0x01DE, 0x01EF, false},
    {0x01F8, 0x021F, false}, {0x0222, 0x0233, false}, {0x0246, 0x024F, false},
    {0x03D8, 0x03EF, false}, {0x0460, 0x0481, false}, {0x048A, 0x04BF, false},
    {0x04C1, 0x04CE, true},  {0x04D0, 0x052F, false}, {0x1E00, 0x1E95, false},
    {0x1EA0, 0x1EFF, false},
};

uint32_t UpperCodePoint(uint32_t c) {
  if (c >= 0x03B1 && c <= 0x03CB && c != 0x03C2) return c - 0x20;  // Greek
  if (c == 0x03C2) return 0x03A3;                                  // final sigma
  if (c == 0x03AC) return 0x0386;
  if (c >= 0x03AD && c <= 0x03AF) return c - 0x25;
  if (c == 0x03CC) return 0x038C;
  if (c == 0x03CD || c == 0x03CE) return c - 0x3F;
  if (c >= 0x0430 && c <= 0x044F) return c - 0x20;  // Cyrillic
  if (c >= 0x0450 && c <= 0x045F) return c - 0x50;
  if (c == 0x04CF) return 0x04C0;
  if (c >= 0x0561 && c <= 0x0586) return c - 0x30;  // Armenian
  if (c >= 0xFF41 && c <= 0xFF5A) return c - 0x20;  // full-width Latin
  for (const PairRange& range : kPairs) {
    if (c < range.first || c > range.last) continue;
    const bool odd = (c & 1) != 0;
    return odd == range.oddUpper ? c : c - 1;  // the lower-case letter follows its upper
  }
  return c;
}

}  // namespace

uint32_t UpperBeyondAnsi(uint32_t key) {
  if (key < kKeyBeyondAnsi || key >= kKeyStrayByte) return key;
  const uint32_t upper = UpperCodePoint(key - kKeyBeyondAnsi);
  // A letter whose upper-case form is a 1252 character takes that character's key.
  const int ansi = AnsiByteOf(upper);
  return ansi >= 0 ? static_cast<uint32_t>(ansi) : kKeyBeyondAnsi + upper;
}

uint32_t UpperNameKey(uint32_t key) {
  if (key >= kKeyBeyondAnsi) return UpperBeyondAnsi(key);
  if (key >= 'a' && key <= 'z') return key - 0x20;
  if (key >= 0xE0 && key <= 0xFE && key != 0xF7) return key - 0x20;
  switch (key) {
    case 0x9A: return 0x8A;  // s caron
    case 0x9C: return 0x8C;  // oe
    case 0x9E: return 0x8E;  // z caron
    case 0xFF: return 0x9F;  // y diaeresis
    default: return key;
  }
}

bool SameNameIgnoringCase(const char* a, const char* b) {
  const unsigned char* pa = reinterpret_cast<const unsigned char*>(a);
  const unsigned char* pb = reinterpret_cast<const unsigned char*>(b);
  const unsigned char* ea = pa + std::strlen(a);
  const unsigned char* eb = pb + std::strlen(b);
  for (;;) {
    const uint32_t x = NextNameKey(&pa, ea);
    const uint32_t y = NextNameKey(&pb, eb);
    if (UpperNameKey(x) != UpperNameKey(y)) return false;
    if (x == 0) return true;
  }
}
