// The traditional ZIP encryption: three 32-bit keys advanced by every plaintext byte.
#include "extract/decrypt.h"

#include "extract/crc32.h"

namespace {
constexpr uint32_t kKey1Multiplier = 134775813u;
}  // namespace

void CipherKeys::update(uint8_t byte) {
  key0 = Crc32Byte(byte, key0);
  key1 = (key1 + (key0 & 0xFF)) * kKey1Multiplier + 1;
  key2 = Crc32Byte(static_cast<uint8_t>(key1 >> 24), key2);
}

void CipherKeys::init(const char* password) {
  *this = CipherKeys();
  if (!password) return;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(password); *p; ++p) {
    update(*p);
  }
}

uint8_t CipherKeys::streamByte() const {
  uint32_t t = (key2 & 0xFFFF) | 2;
  return static_cast<uint8_t>((t * (t ^ 1)) >> 8);
}

// Both directions advance the keys with the plain byte. Decryption takes the whole block in one
// loop with the keys in registers: each byte's key depends on the byte before it, so the chain
// of table lookups and the multiplication is all the time there is.
void CipherKeys::decrypt(uint8_t* bytes, uint32_t count) {
  uint32_t k0 = key0, k1 = key1, k2 = key2;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t t = (k2 & 0xFFFF) | 2;
    const uint8_t plain = static_cast<uint8_t>(bytes[i] ^ ((t * (t ^ 1)) >> 8));
    bytes[i] = plain;
    k0 = Crc32Byte(plain, k0);
    k1 = (k1 + (k0 & 0xFF)) * kKey1Multiplier + 1;
    k2 = Crc32Byte(static_cast<uint8_t>(k1 >> 24), k2);
  }
  key0 = k0;
  key1 = k1;
  key2 = k2;
}

void CipherKeys::encrypt(uint8_t* bytes, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t plain = bytes[i];
    bytes[i] ^= streamByte();
    update(plain);
  }
}
