// The traditional ZIP encryption: three 32-bit keys advanced by every plaintext byte.
#include "extract/decrypt.h"

#include "extract/crc32.h"

namespace {

constexpr uint32_t kInitialKey0 = 0x12345678u;
constexpr uint32_t kInitialKey1 = 0x23456789u;
constexpr uint32_t kInitialKey2 = 0x34567890u;
constexpr uint32_t kKey1Multiplier = 134775813u;

// One decryption at a time: the entry being read, or the authenticity record after the walk.
uint32_t gKey0 = kInitialKey0;
uint32_t gKey1 = kInitialKey1;
uint32_t gKey2 = kInitialKey2;

}  // namespace

char storedPassword[kPasswordSize] = {};

void UpdateKeys(uint8_t byte) {
  gKey0 = Crc32Byte(byte, gKey0);
  gKey1 = (gKey1 + (gKey0 & 0xFF)) * kKey1Multiplier + 1;
  gKey2 = Crc32Byte(static_cast<uint8_t>(gKey1 >> 24), gKey2);
}

void InitKeys(const char* password) {
  gKey0 = kInitialKey0;
  gKey1 = kInitialKey1;
  gKey2 = kInitialKey2;
  if (!password) return;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(password); *p; ++p) {
    UpdateKeys(*p);
  }
}

void DecryptBytes(uint8_t* bytes, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t t = (gKey2 & 0xFFFF) | 2;
    uint8_t k = static_cast<uint8_t>((t * (t ^ 1)) >> 8);
    bytes[i] ^= k;
    UpdateKeys(bytes[i]);
  }
}

void DecryptHeader(const char* password, uint8_t* header) {
  InitKeys(password);
  DecryptBytes(header, kEncryptionHeaderSize);
}
