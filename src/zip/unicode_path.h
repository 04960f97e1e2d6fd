// The Unicode path extra field: a writer that stores a name in a code page can add the same
// name in UTF-8, with a CRC-32 of the stored name so that a reader can tell when a later tool
// renamed the entry without updating the field.
#pragma once

#include <cstdint>

constexpr uint16_t kUnicodePathTag = 0x7075;  // + size, version 1, CRC-32 of the name, UTF-8 name

// The UTF-8 name the extra field gives for an entry, when a field of version 1 is there and its
// CRC-32 matches name (the stored bytes, before any translation). False otherwise.
bool unicodePathOf(const uint8_t* extra, uint16_t extraLength, const char* name,
                   uint16_t nameLength, const char** utf8, uint16_t* utf8Length);
// True when the extra field holds a Unicode path field at all, matching the name or not.
bool hasUnicodePathField(const uint8_t* extra, uint16_t extraLength);
