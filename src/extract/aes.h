// The strong encryption of entries: method 99, whose extra field 0x9901 names the version (AE-1
// keeps the CRC, AE-2 stores 0 there), the AES key length and the method the data was compressed
// with. The data is a salt, a 2-byte password verifier, the data enciphered in CTR mode with a
// little-endian counter that starts at 1, and a 10-byte authentication code: HMAC-SHA1 over the
// enciphered data, cut to its first 10 bytes. Keys come from the password (UTF-8) by PBKDF2.
#pragma once

#include <cstddef>
#include <cstdint>

#include "extract/crypto.h"

struct CentralHeader;

constexpr uint16_t kMethodAes = 99;
constexpr uint16_t kAesExtraId = 0x9901;
constexpr uint16_t kAesExtraSize = 7;  // of the field's data
constexpr uint16_t kAesVendorId = 0x4541;  // "AE"
constexpr size_t kAesVerifierSize = 2;
constexpr size_t kAesAuthCodeSize = 10;
constexpr uint32_t kAesIterations = 1000;
constexpr size_t kAesMaxKeySize = 32;
constexpr size_t kAesMaxSaltSize = 16;
// The version of the format an entry with the field needs: readers of 2.0 refuse it by number.
constexpr uint16_t kAesVersionNeeded = 51;

// What the 0x9901 field of an entry says.
struct AesParameters {
  uint16_t version = 0;   // 1 (AE-1) or 2 (AE-2)
  uint8_t strength = 0;   // 1, 2, 3: AES-128, -192, -256
  uint16_t method = 0;    // the compression method of the deciphered data
  size_t keySize() const { return 8u + 8u * strength; }
  size_t saltSize() const { return 4u + 4u * strength; }
  // Everything the data holds besides the enciphered bytes.
  size_t overhead() const { return saltSize() + kAesVerifierSize + kAesAuthCodeSize; }
  unsigned bits() const { return 64u + 64u * strength; }
};

enum class AesField {
  kAbsent,   // no 0x9901 field
  kValid,    // version 1 or 2, vendor "AE", strength 1 to 3
  kDamaged,  // shorter than its 7 bytes, another vendor, or an unknown version or strength
};
// The field of the extra data given.
AesField ParseAesField(const uint8_t* extra, size_t length, AesParameters* parameters);
// An entry is AES-encrypted when its method is 99 and it is flagged encrypted; its field is then
// looked for in its central extra data, else in localExtra (which may be null).
bool IsAesEntry(const CentralHeader* entry);
AesField EntryAesField(const CentralHeader* entry, const uint8_t* localExtra, size_t localLength,
                       AesParameters* parameters);

// What a listing says of an entry's cipher: 0 for none or the traditional one, 128, 192 or 256
// for AES, -1 for an AES entry whose central 0x9901 field is damaged or missing.
int AesBits(const CentralHeader* entry);

// The keys of one entry, as PBKDF2 gave them. A value, so that a worker can take an entry's keys.
struct AesKeys {
  uint8_t keySize = 0;
  uint8_t encryption[kAesMaxKeySize] = {};
  uint8_t authentication[kAesMaxKeySize] = {};
  uint8_t verifier[kAesVerifierSize] = {};
};
// False when the platform's derivation failed.
bool DeriveAesKeys(const char* password, size_t passwordLength, const uint8_t* salt,
                   const AesParameters& parameters, AesKeys* keys);

// One entry's stream: the authentication code over the enciphered bytes, then the CTR
// keystream over them. Owns its platform objects: each thread has its own.
class AesStream {
 public:
  // False when the platform refused the keys.
  bool start(const AesKeys& keys);
  void decrypt(uint8_t* bytes, size_t count);
  // The inverse, for the builder: the code is taken over the enciphered bytes it gives.
  void encrypt(uint8_t* bytes, size_t count);
  // The first kAesAuthCodeSize bytes of the code; false when the platform failed on the way.
  bool finish(uint8_t code[kAesAuthCodeSize]);

 private:
  void applyKeystream(uint8_t* bytes, size_t count);
  bool refill();

  static constexpr size_t kBlocksAhead = 256;
  AesBlockCipher cipher_;
  HmacSha1 mac_;
  uint64_t counter_ = 0;
  size_t used_ = 0;
  size_t available_ = 0;
  bool failed_ = false;
  uint8_t keystream_[kBlocksAhead * kAesBlockSize];
};
