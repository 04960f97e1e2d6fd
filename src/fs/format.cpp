// A small printf-style formatter; see format.h for what it understands.
#include "fs/format.h"

#include <cstdint>

namespace {

class Sink {
 public:
  Sink(char* out, size_t size) : out_(out), size_(size) {}
  void put(char c) {
    if (length_ + 1 < size_) out_[length_] = c;
    ++length_;
  }
  void repeat(char c, int count) {
    for (; count > 0; --count) put(c);
  }
  int finish() {
    if (size_ > 0) out_[length_ < size_ ? length_ : size_ - 1] = '\0';
    return static_cast<int>(length_);
  }

 private:
  char* out_;
  size_t size_;
  size_t length_ = 0;
};

struct Conversion {
  bool left = false;
  bool zero = false;
  int width = 0;
  int precision = -1;
};

void PutPadded(Sink& sink, const Conversion& conversion, const char* text, int length, bool numeric) {
  const int padding = conversion.width > length ? conversion.width - length : 0;
  if (conversion.left) {
    for (int i = 0; i < length; ++i) sink.put(text[i]);
    sink.repeat(' ', padding);
    return;
  }
  if (numeric && conversion.zero && conversion.precision < 0) {
    // Zeros go after the sign.
    int at = 0;
    if (length > 0 && text[0] == '-') sink.put(text[at++]);
    sink.repeat('0', padding);
    for (; at < length; ++at) sink.put(text[at]);
    return;
  }
  sink.repeat(' ', padding);
  for (int i = 0; i < length; ++i) sink.put(text[i]);
}

void PutNumber(Sink& sink, const Conversion& conversion, uint64_t magnitude, bool negative, unsigned base, bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  char reversed[24];
  int count = 0;
  do {
    reversed[count++] = digits[magnitude % base];
    magnitude /= base;
  } while (magnitude != 0);
  char text[48];
  int length = 0;
  if (negative) text[length++] = '-';
  for (int zeros = conversion.precision - count; zeros > 0 && length < 40; --zeros) text[length++] = '0';
  while (count > 0) text[length++] = reversed[--count];
  PutPadded(sink, conversion, text, length, true);
}

// Reads the flags, width, precision and length of the conversion that p (just after its '%')
// starts; returns where its type letter stands. The arguments travel as a pointer to a va_list
// of FormatTextV's own (va_copy): a va_list parameter may be an array that decays to a pointer.
const char* ReadConversion(const char* p, va_list* args, Conversion* out, int* longs) {
  Conversion conversion;
  for (;; ++p) {
    if (*p == '-') {
      conversion.left = true;
    } else if (*p == '0') {
      conversion.zero = true;
    } else {
      break;
    }
  }
  if (*p == '*') {
    conversion.width = va_arg(*args, int);
    if (conversion.width < 0) {
      conversion.left = true;
      conversion.width = -conversion.width;
    }
    ++p;
  } else {
    while (*p >= '0' && *p <= '9') conversion.width = conversion.width * 10 + (*p++ - '0');
  }
  if (*p == '.') {
    ++p;
    conversion.precision = 0;
    if (*p == '*') {
      conversion.precision = va_arg(*args, int);
      ++p;
    } else {
      while (*p >= '0' && *p <= '9') conversion.precision = conversion.precision * 10 + (*p++ - '0');
    }
  }
  *longs = 0;
  while (*p == 'l') {
    ++*longs;
    ++p;
  }
  *out = conversion;
  return p;
}

}  // namespace

int FormatTextV(char* out, size_t size, const char* format, va_list args) {
  Sink sink(out, size);
  va_list rest;
  va_copy(rest, args);
  for (const char* p = format; *p; ++p) {
    if (*p != '%') {
      sink.put(*p);
      continue;
    }
    Conversion conversion;
    int longs = 0;
    p = ReadConversion(p + 1, &rest, &conversion, &longs);
    switch (*p) {
      case 's': {
        const char* text = va_arg(rest, const char*);
        if (!text) text = "(null)";
        int length = 0;
        while (text[length] && (conversion.precision < 0 || length < conversion.precision)) ++length;
        PutPadded(sink, conversion, text, length, false);
        break;
      }
      case 'c': {
        const char c = static_cast<char>(va_arg(rest, int));
        PutPadded(sink, conversion, &c, 1, false);
        break;
      }
      case 'd':
      case 'i': {
        int64_t value = longs >= 2 ? va_arg(rest, long long) : longs == 1 ? va_arg(rest, long) : va_arg(rest, int);
        const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
        PutNumber(sink, conversion, magnitude, value < 0, 10, false);
        break;
      }
      case 'u':
      case 'x':
      case 'X': {
        uint64_t value = longs >= 2   ? va_arg(rest, unsigned long long)
                         : longs == 1 ? va_arg(rest, unsigned long)
                                      : va_arg(rest, unsigned);
        PutNumber(sink, conversion, value, false, *p == 'u' ? 10 : 16, *p == 'X');
        break;
      }
      case '%':
        sink.put('%');
        break;
      case '\0':
        --p;  // a lone '%' at the end
        break;
      default:  // not a conversion this formatter knows: shown as written
        sink.put('%');
        sink.put(*p);
        break;
    }
  }
  va_end(rest);
  return sink.finish();
}

int FormatText(char* out, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int length = FormatTextV(out, size, format, args);
  va_end(args);
  return length;
}
