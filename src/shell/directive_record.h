// The directive record as stored in a program file: a 12-byte header at a multiple of 12 bytes
// within the first 300000 bytes, then the body. Every byte of the header's length word and of
// the body is stored XORed with the low 8 bits of (its file offset - 7). The offsets below are
// shared by the stub's reader and the builder's writer.
#pragma once

#include <cstddef>
#include <cstdint>

// Header, at file offset H.
constexpr uint32_t kDirectiveSignature = 0x0A094B50;  // stored plain
constexpr uint32_t kDirectiveVersionWord = 0x00140014;  // high 16 bits: the newest version read
constexpr size_t kDirectiveHeaderSignature = 0;
constexpr size_t kDirectiveHeaderVersion = 4;         // stored plain; low 16 bits unchecked
constexpr size_t kDirectiveHeaderBodyLength = 8;      // scrambled with key H
constexpr size_t kDirectiveHeaderSize = 12;
constexpr uint32_t kDirectiveAlignmentBytes = 12;
constexpr uint32_t kDirectiveSearchBlocks = 25000;    // 300000 bytes
// The body follows the header at H + 12 and is scrambled with key H + 4.
constexpr uint32_t kDirectiveBodyKeyOffset = 4;

// Body: a first word, the flags, then five fields of (32-bit length, 16-bit tag, text, pad)
// and a 32-bit end word. The length counts the tag and the text.
constexpr size_t kDirectiveFirstWord = 0;             // 16-bit, always 2
constexpr uint16_t kDirectiveFirstWordValue = 2;
constexpr size_t kDirectiveFlags = 2;                 // 16-bit DirectiveFlags
constexpr size_t kDirectiveFieldLength = 0;           // within a field: 32-bit length
constexpr size_t kDirectiveFieldTag = 4;              // 16-bit tag
constexpr size_t kDirectiveFieldText = 6;             // the text, zero-filled to its size

struct DirectiveField {
  size_t offset;      // of the field's length word in the body
  uint32_t length;    // its required value: tag + text
  uint16_t tag;
  size_t textSize;    // bytes of text (a pad byte follows, unchecked)
};

constexpr DirectiveField kDirectiveDestination = {4, 263, 1, 261};
constexpr DirectiveField kDirectiveGroups = {272, 1043, 3, 1041};
constexpr DirectiveField kDirectiveExtensions = {1320, 263, 4, 261};
constexpr DirectiveField kDirectiveText5 = {1588, 263, 5, 261};  // not used by the program
constexpr DirectiveField kDirectiveText2 = {1856, 263, 2, 261};  // not used by the program
constexpr DirectiveField kDirectiveFields[] = {kDirectiveDestination, kDirectiveGroups,
                                               kDirectiveExtensions, kDirectiveText5,
                                               kDirectiveText2};
constexpr size_t kDirectiveEnd = 2124;                // 32-bit, always 0
constexpr uint32_t kDirectiveMaxBody = 2128;

// XORs byte i of buffer with (key + 1 + i) modulo 256. Its own inverse: the builder scrambles
// with the same call.
uint8_t* DescrambleBytes(uint8_t* buffer, size_t count, uint32_t key);
