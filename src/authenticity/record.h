// The authenticity record: a central-directory extra field that names who made the archive,
// masked and enciphered with a key derived from the entries it protects. The stub opens it;
// vespa-mksfx seals it. Both go through these definitions, so that the two sides cannot drift.
#pragma once

#include <cstddef>
#include <cstdint>

// The extra field: header ID, 16-bit data size, then the data.
constexpr uint16_t kAuthenticityRecordId = 0x0007;
constexpr uint16_t kRecordFieldHeaderSize = 4;

// The data once unmasked and deciphered. Its first 12 bytes are the block the cipher's header
// step covers, so no record is shorter.
constexpr uint16_t kRecordBlockSize = 12;
constexpr int kRecordReserved = 0;   // 4 bytes outside the check; vespa-mksfx writes zero
constexpr int kRecordChecksum = 4;   // uint32
constexpr int kRecordNumber = 8;     // uint32: the maker's number, behind the code shown
constexpr int kRecordName = 12;      // the maker's name, NUL, then the additional text up to
                                     // the end of the data

// Internal-attribute bits of a protected entry. Bit 2 also says that the high 24 bits of the
// external attributes belong to the record scheme; vespa-mksfx sets bit 1 only.
constexpr uint16_t kProtectedMask = 0x0006;
constexpr uint16_t kProtectedBit = 0x0002;
constexpr uint16_t kAttributesCarryData = 0x0004;
// Only entries made on an MS-DOS-compatible host (versionMadeBy below this) are protected.
constexpr uint16_t kFirstForeignHost = 0x0100;

// The key is eight characters, one per 4-bit group of the summary's total, least significant
// first, each the group's value plus this offset. The cipher takes its key as a NUL-terminated
// text: with a non-zero offset every group (0 included) gives a character, so all eight take
// part and no total yields a shorter key. 'A' keeps the key to the plain letters 'A' to 'P'.
constexpr int kAuthenticityKeyLength = 8;
constexpr char kAuthenticityKeyOffset = 'A';

// Six characters and a NUL.
constexpr int kAuthenticityCodeSize = 7;

// The key for a total; key receives kAuthenticityKeyLength characters and a NUL.
void AuthenticityKey(uint32_t total, char* key);
// XORs data byte i with the low 8 bits of size - i: its own inverse.
void MaskRecordData(uint8_t* data, uint16_t size);
// The check value the record carries for its number and its maker's name.
uint32_t AuthenticityChecksum(uint32_t number, const uint8_t* name, size_t length);
// Three letters and three digits for value; code receives kAuthenticityCodeSize chars.
void AuthenticityCode(uint32_t value, char* code);
// The value whose code is shown for a record's number.
uint32_t AuthenticityCodeValue(uint32_t number);

// What a record that checked holds. Name and text point into the data handed to
// OpenAuthenticityRecord and are NUL-terminated there.
struct OpenedRecord {
  char code[kAuthenticityCodeSize] = {};
  const char* name = nullptr;
  size_t nameLength = 0;
  const char* text = nullptr;  // empty when the name reaches the end of the data
  size_t textLength = 0;
};

// Unmasks and deciphers data in place and checks it. data holds size bytes (at least
// kRecordBlockSize) and one more byte, which becomes a NUL. False: the checksum does not match
// or the name is empty.
bool OpenAuthenticityRecord(uint32_t total, uint8_t* data, uint16_t size, OpenedRecord* opened);
// The inverse: enciphers and masks plain record data in place, for the archive whose summary
// comes to total.
void SealAuthenticityRecord(uint32_t total, uint8_t* data, uint16_t size);
