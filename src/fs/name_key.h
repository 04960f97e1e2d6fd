// Names compared as Windows compares them, over the UTF-8 names the engine keeps. A name is read
// as a sequence of keys, one per character: the 1252 byte of a character that has one, so that
// names made of 1252 characters compare, sort and match exactly as their 1252 bytes did, and
// kKeyBeyondAnsi + the code point for every other character.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t kKeyBeyondAnsi = 0x100;
// A byte that starts no well-formed sequence (a name read from a disk that is not UTF-8) stands
// for itself above every character.
constexpr uint32_t kKeyStrayByte = kKeyBeyondAnsi + 0x110000;

// The key of the character at *text (before end), moving *text past it; 0 at end.
inline uint32_t NextNameKey(const unsigned char** text, const unsigned char* end);
// The upper-case form of a key beyond 1252, as Windows upper-cases names (Latin, Greek,
// Cyrillic, Armenian, full-width Latin); keys of 1252 characters are left alone: callers keep
// their own rule for those.
uint32_t UpperBeyondAnsi(uint32_t key);

uint32_t NameKeySlow(const unsigned char** text, const unsigned char* end);

inline uint32_t NextNameKey(const unsigned char** text, const unsigned char* end) {
  if (*text >= end) return 0;
  if (**text < 0x80) return *(*text)++;
  return NameKeySlow(text, end);
}
