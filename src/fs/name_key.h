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
// Cyrillic, Armenian, full-width Latin); keys of 1252 characters are left alone.
uint32_t UpperBeyondAnsi(uint32_t key);

// The case rule: the upper-case form of any key, as Windows upper-cases names. Two names whose
// keys agree under it are one file on Windows: whatever asks "the same file?" (the directory
// search, the workers' output guard, the builder's check for names that would collide) uses it.
// Among 1252 characters: 'a' to 'z', the accented letters from 0xE0 (but the division sign),
// and s caron, oe, z caron, y diaeresis.
uint32_t UpperNameKey(uint32_t key);

// The key the engine orders and matches entry names by. Among 1252 characters only ASCII
// letters fold, to lower case, as they always did: "_" sorts before the letters, and é and É
// sort apart and a pattern tells them apart. Every other character folds by the case rule.
inline uint32_t OrderNameKey(uint32_t key) {
  if (key >= kKeyBeyondAnsi) return UpperBeyondAnsi(key);
  return (key >= 'A' && key <= 'Z') ? key + ('a' - 'A') : key;
}

// Whether two UTF-8 texts (paths or names, to their NUL) are equal under the case rule.
bool SameNameIgnoringCase(const char* a, const char* b);

uint32_t NameKeySlow(const unsigned char** text, const unsigned char* end);

inline uint32_t NextNameKey(const unsigned char** text, const unsigned char* end) {
  if (*text >= end) return 0;
  if (**text < 0x80) return *(*text)++;
  return NameKeySlow(text, end);
}
