// The 1252 <-> UTF-8 conversion behind codepage.h, over plain buffers.
#include "fs/codepage.h"

#include <cstdint>

namespace {

constexpr char kNoForm = '_';

// Code points of 0x80..0x9F; the rest of 0xA0..0xFF equals Latin-1.
constexpr uint16_t kSpecials[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// The 1252 byte of a code point, or -1 when it has none.
int AnsiOf(uint32_t codePoint) {
  if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) return static_cast<int>(codePoint);
  for (int i = 0; i < 32; ++i) {
    if (kSpecials[i] == codePoint) return 0x80 + i;
  }
  return -1;
}

}  // namespace

size_t DecodeUtf8(const char* text, size_t size, size_t i, uint32_t* codePoint) {
  unsigned char lead = static_cast<unsigned char>(text[i]);
  size_t length;
  uint32_t c;
  uint32_t minimum;
  if (lead < 0x80) {
    *codePoint = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, c = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, c = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, c = lead & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (size - i < length) return 0;
  for (size_t k = 1; k < length; ++k) {
    unsigned char next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) return 0;
    c = (c << 6) | (next & 0x3F);
  }
  if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  *codePoint = c;
  return length;
}

int AnsiByteOf(uint32_t codePoint) { return AnsiOf(codePoint); }

bool IsWellFormedUtf8(const char* text, size_t length) {
  uint32_t c = 0;
  for (size_t i = 0; i < length;) {
    size_t used = DecodeUtf8(text, length, i, &c);
    if (used == 0 || c == 0) return false;
    i += used;
  }
  return true;
}

size_t Utf8CharactersLength(const char* text, size_t length, size_t characters) {
  uint32_t c = 0;
  size_t i = 0;
  for (; i < length && characters > 0; --characters) {
    const size_t used = DecodeUtf8(text, length, i, &c);
    i += used ? used : 1;
  }
  return i;
}

size_t EncodeUtf8(uint32_t c, char* out) {
  if (c < 0x80) {
    out[0] = static_cast<char>(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<char>(0xC0 | (c >> 6));
    out[1] = static_cast<char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (c >> 12));
    out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (c >> 18));
  out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (c & 0x3F));
  return 4;
}

size_t AnsiToUtf8Into(const char* ansi, size_t length, char* out) {
  size_t n = 0;
  for (size_t i = 0; i < length; ++i) n += EncodeUtf8(AnsiCodePoint(static_cast<unsigned char>(ansi[i])), out + n);
  return n;
}

uint32_t AnsiCodePoint(unsigned char c) { return c >= 0x80 && c < 0xA0 ? kSpecials[c - 0x80] : c; }

size_t Utf8ToAnsiInPlace(char* text, size_t length) {
  size_t out = 0;  // never ahead of i: every character takes at least one byte in UTF-8
  for (size_t i = 0; i < length;) {
    uint32_t c = 0;
    size_t used = DecodeUtf8(text, length, i, &c);
    if (used == 0) {
      text[out++] = kNoForm;
      ++i;
      continue;
    }
    int ansi = AnsiOf(c);
    text[out++] = ansi < 0 ? kNoForm : static_cast<char>(ansi);
    i += used;
  }
  return out;
}

