// Components that Windows would turn into a device, rewrite or refuse.
#include "zip/windows_names.h"

#include <cstring>

namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameLetters(const char* text, const char* upperWord, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (Upper(text[i]) != upperWord[i]) return false;
  }
  return true;
}

// Length of the port digit at text (a digit, or superscript one, two or three, which the
// system's name check counts as digits too), 0 when there is none.
size_t PortDigit(const char* text, size_t length, NameEncoding encoding) {
  if (length == 0) return 0;
  const unsigned char c = static_cast<unsigned char>(text[0]);
  if (c >= '0' && c <= '9') return 1;
  auto isSuperscript = [](unsigned char b) { return b == 0xB9 || b == 0xB2 || b == 0xB3; };
  if (encoding == NameEncoding::kAnsi) return isSuperscript(c) ? 1 : 0;
  return length >= 2 && c == 0xC2 && isSuperscript(static_cast<unsigned char>(text[1])) ? 2 : 0;
}

// The system takes a name as a device when the part before its first dot, without the blanks
// that end it, is a device name: "aux.txt", "NUL .tar.gz" and "com1" all open a device.
bool IsDeviceName(const char* component, size_t length, NameEncoding encoding) {
  const char* dot = static_cast<const char*>(std::memchr(component, '.', length));
  size_t base = dot ? static_cast<size_t>(dot - component) : length;
  while (base > 0 && component[base - 1] == ' ') --base;
  static const char* const kPlain[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* word : kPlain) {
    if (base == std::strlen(word) && SameLetters(component, word, base)) return true;
  }
  if (base < 4 || !(SameLetters(component, "COM", 3) || SameLetters(component, "LPT", 3))) {
    return false;
  }
  const size_t digit = PortDigit(component + 3, base - 3, encoding);
  return digit != 0 && base == 3 + digit;
}

}  // namespace

bool windowsAltersComponent(const char* component, size_t length, NameEncoding encoding) {
  if (length == 0 || (length == 1 && component[0] == '.')) return false;
  const char last = component[length - 1];
  if (last == '.' || last == ' ') return true;
  for (size_t i = 0; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(component[i]);
    if (c < 0x20 || std::strchr("<>:\"|?*\\", c)) return true;
  }
  return IsDeviceName(component, length, encoding);
}

bool windowsAltersPath(const char* path, NameEncoding encoding) {
  for (const char* component = path;;) {
    const char* end = std::strchr(component, '/');
    const size_t length = end ? static_cast<size_t>(end - component) : std::strlen(component);
    if (windowsAltersComponent(component, length, encoding)) return true;
    if (!end) return false;
    component = end + 1;
  }
}
