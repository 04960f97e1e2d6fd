// The string forms of the 1252 <-> UTF-8 conversion, for the Linux file layer and terminal.
// Kept apart so that a program converting only in place does not carry the string library.
#include <cstdint>

#include "fs/codepage.h"

namespace {

void AppendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

}  // namespace

std::string AnsiToUtf8(const std::string& ansi) {
  std::string out;
  out.reserve(ansi.size() + ansi.size() / 4);
  for (char c : ansi) AppendUtf8(out, AnsiCodePoint(static_cast<unsigned char>(c)));
  return out;
}

std::string Utf8ToAnsi(const std::string& utf8) {
  std::string out = utf8;
  out.resize(Utf8ToAnsiInPlace(&out[0], out.size()));
  return out;
}
