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

// The same over length bytes of text, in place; returns the new length (never longer).
size_t Utf8ToAnsiInPlace(char* text, size_t length);
