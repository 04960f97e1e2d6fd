// Conversion between the ANSI code page (1252), in which the system keeps every path and text,
// and UTF-8, which Linux file names and terminals use. Our own table, so that the result does not
// depend on the C library's locales being installed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Every byte has a UTF-8 form; the five bytes 1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90,
// 0x9D) stand for the C1 controls of the same number, as the Windows conversion treats them.
std::string AnsiToUtf8(const std::string& ansi);

// A character without a 1252 form, and every byte that is not part of a well-formed UTF-8
// sequence, becomes '_' (one per character or stray byte).
std::string Utf8ToAnsi(const std::string& utf8);
// The code point of a 1252 byte.
uint32_t AnsiCodePoint(unsigned char c);

// Decodes one well-formed sequence at text[i] (of size bytes); returns its length, 0 when the
// byte there does not start one (overlong forms, surrogates and values above U+10FFFF are not
// well-formed).
size_t DecodeUtf8(const char* text, size_t size, size_t i, uint32_t* codePoint);
// The UTF-8 form of a code point into out (room for 4); returns its length.
size_t EncodeUtf8(uint32_t codePoint, char* out);
// True when every byte belongs to a well-formed sequence and none is NUL.
bool IsWellFormedUtf8(const char* text, size_t length);
// The length in bytes of the first `characters` characters of text (length bytes): a cut there
// never falls inside a character. A byte that starts no well-formed sequence counts as one.
size_t Utf8CharactersLength(const char* text, size_t length, size_t characters);
// The 1252 byte of a code point, or -1 when it has none.
int AnsiByteOf(uint32_t codePoint);
// length bytes of 1252 text into out in UTF-8 (room for 3 * length); returns the new length.
size_t AnsiToUtf8Into(const char* ansi, size_t length, char* out);

// The same over length bytes of text, in place; returns the new length (never longer).
size_t Utf8ToAnsiInPlace(char* text, size_t length);
