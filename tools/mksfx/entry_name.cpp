#include "entry_name.h"

#include <cstdio>

#include "zip/windows_names.h"

namespace {

// The record's 16-bit length field.
constexpr size_t kMaxStoredName = 0xFFFF;

// Decodes one UTF-8 character at text[*at]; false for a malformed or overlong sequence, a
// surrogate or a value past U+10FFFF.
bool NextCharacter(const std::string& text, size_t* at, uint32_t* character) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data()) + *at;
  size_t left = text.size() - *at;
  unsigned char lead = p[0];
  size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
  if (length == 0 || length > left) return false;
  uint32_t value = length == 1 ? lead : lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    if ((p[i] & 0xC0) != 0x80) return false;
    value = (value << 6) | (p[i] & 0x3F);
  }
  static constexpr uint32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    return false;
  }
  *at += length;
  *character = value;
  return true;
}

std::string Hex(uint32_t character) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(character));
  return text;
}

}  // namespace

std::string EncodeEntryName(const std::string& name, StoredName* stored) {
  bool ascii = true;
  for (size_t at = 0; at < name.size();) {
    uint32_t c = 0;
    if (!NextCharacter(name, &at, &c)) return "its name is not valid UTF-8";
    if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) {
      return "its name holds a control character (" + Hex(c) + ")";
    }
    // '\\' would become a folder separator when extracted; the others Windows refuses.
    for (char refused : std::string("\\:*?\"<>|")) {
      if (c == static_cast<unsigned char>(refused)) {
        return std::string("its name holds '") + refused + "', which Windows refuses in file names";
      }
    }
    if (c >= 0x80) ascii = false;
  }
  // The stub refuses these parts of a name rather than let Windows open a device or drop the
  // end of the name, so an archive holding one would not extract whole.
  for (size_t start = 0; start <= name.size();) {
    size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    const std::string part = name.substr(start, end - start);
    if (windowsAltersComponent(part.data(), part.size(), NameEncoding::kUtf8)) {
      const char last = part.back();
      return last == '.' || last == ' '
                 ? "'" + part + "' ends in a dot or a blank, which Windows drops from a name"
                 : "'" + part + "' is a name Windows keeps for a device";
    }
    start = end + 1;
  }
  if (name.size() > kMaxStoredName) return "its name is longer than a ZIP record can hold";
  stored->utf8 = !ascii;
  stored->bytes = name;
  return "";
}
