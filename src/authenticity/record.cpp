// Opening and sealing the authenticity record's data.
#include "authenticity/record.h"

#include <cstring>

#include "extract/crc32.h"
#include "extract/decrypt.h"
#include "zip/byte_reader.h"

namespace {

uint32_t RotateLeft(uint32_t value, uint32_t bits) {
  bits %= 32;
  return bits ? (value << bits) | (value >> (32 - bits)) : value;
}

// The cipher keyed by the total: its header step over the first block, then the rest of the
// data, is one pass over the whole data from the same keys.
CipherKeys KeysFor(uint32_t total) {
  char key[kAuthenticityKeyLength + 1];
  AuthenticityKey(total, key);
  CipherKeys keys;
  keys.init(key);
  // The key is needed only while the record is deciphered.
  std::memset(key, 0, sizeof key);
  return keys;
}

}  // namespace

void AuthenticityKey(uint32_t total, char* key) {
  for (int j = 0; j < kAuthenticityKeyLength; ++j) {
    key[j] = static_cast<char>(kAuthenticityKeyOffset + ((total >> (4 * j)) & 0xF));
  }
  key[kAuthenticityKeyLength] = 0;
}

void MaskRecordData(uint8_t* data, uint16_t size) {
  for (uint32_t i = 0; i < size; ++i) data[i] ^= static_cast<uint8_t>(size - i);
}

uint32_t AuthenticityChecksum(uint32_t number, const uint8_t* name, size_t length) {
  uint32_t crc = Crc32Update(number, name, static_cast<uint32_t>(length));
  return RotateLeft(~crc, number);
}

void AuthenticityCode(uint32_t value, char* code) {
  uint32_t letters = value >> 18;  // 14 bits: at most "YGD"
  code[0] = static_cast<char>('A' + letters / 676);
  code[1] = static_cast<char>('A' + (letters / 26) % 26);
  code[2] = static_cast<char>('A' + letters % 26);
  uint32_t digits = (value & 0x3FFFF) / 263;  // 0 to 996
  code[3] = static_cast<char>('0' + digits / 100);
  code[4] = static_cast<char>('0' + (digits / 10) % 10);
  code[5] = static_cast<char>('0' + digits % 10);
  code[6] = 0;
}

uint32_t AuthenticityCodeValue(uint32_t number) { return RotateLeft(number, 7); }

bool OpenAuthenticityRecord(uint32_t total, uint8_t* data, uint16_t size, OpenedRecord* opened) {
  if (size < kRecordBlockSize) return false;
  data[size] = 0;
  MaskRecordData(data, size);
  CipherKeys keys = KeysFor(total);
  keys.decrypt(data, size);

  ByteReader block(data, kRecordBlockSize);
  block.skip(kRecordChecksum);
  uint32_t checksum = block.u32();
  uint32_t number = block.u32();

  // The name ends at its NUL, or with the data when it has none.
  const uint8_t* name = data + kRecordName;
  size_t room = size - kRecordName;
  const void* nul = std::memchr(name, 0, room);
  size_t nameLength = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - name) : room;
  if (nameLength == 0 || AuthenticityChecksum(number, name, nameLength) != checksum) return false;

  AuthenticityCode(AuthenticityCodeValue(number), opened->code);
  opened->name = reinterpret_cast<const char*>(name);
  opened->nameLength = nameLength;
  opened->text = reinterpret_cast<const char*>(name + nameLength + (nul ? 1 : 0));
  opened->textLength = nul ? room - nameLength - 1 : 0;
  return true;
}

void SealAuthenticityRecord(uint32_t total, uint8_t* data, uint16_t size) {
  CipherKeys keys = KeysFor(total);
  keys.encrypt(data, size);
  MaskRecordData(data, size);
}
