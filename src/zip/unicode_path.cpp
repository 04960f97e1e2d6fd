// The Unicode path extra field, checked against the stored name.
#include "zip/unicode_path.h"

#include "zip/byte_reader.h"

namespace {

constexpr uint8_t kUnicodePathVersion = 1;

// The ZIP CRC-32 of a name, bit by bit: names are short and read once at load, and the table
// version belongs to the extraction layer above this one.
uint32_t NameCrc32(const char* name, uint16_t length) {
  uint32_t crc = 0xFFFFFFFFu;
  for (uint16_t i = 0; i < length; ++i) {
    crc ^= static_cast<uint8_t>(name[i]);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

}  // namespace

bool unicodePathOf(const uint8_t* extra, uint16_t extraLength, const char* name,
                   uint16_t nameLength, const char** utf8, uint16_t* utf8Length) {
  ByteReader fields(extra, extraLength);
  while (fields.remaining() >= 4) {
    const uint16_t tag = fields.u16();
    const uint16_t size = fields.u16();
    ByteReader field = fields.sub(size);
    if (fields.failed()) return false;  // a field running past the extra area is not read
    if (tag != kUnicodePathTag) continue;
    const uint8_t version = field.remaining() >= 1 ? *field.current() : 0;
    if (version != kUnicodePathVersion || size < 5) return false;
    field.skip(1);
    if (field.u32() != NameCrc32(name, nameLength)) return false;
    *utf8 = reinterpret_cast<const char*>(field.current());
    *utf8Length = static_cast<uint16_t>(field.remaining());
    return *utf8Length != 0;
  }
  return false;
}

bool hasUnicodePathField(const uint8_t* extra, uint16_t extraLength) {
  ByteReader fields(extra, extraLength);
  while (fields.remaining() >= 4) {
    const uint16_t tag = fields.u16();
    const uint16_t size = fields.u16();
    fields.sub(size);
    if (fields.failed()) return false;
    if (tag == kUnicodePathTag) return true;
  }
  return false;
}
