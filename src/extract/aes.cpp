// The strong encryption of entries: the 0x9901 field, the keys and the CTR stream.
#include "extract/aes.h"

#include <cstring>

#include "zip/byte_reader.h"
#include "zip/records.h"

AesField ParseAesField(const uint8_t* extra, size_t length, AesParameters* parameters) {
  ByteReader field = FindExtraRecord(extra, length, kAesExtraId);
  if (field.failed()) return AesField::kAbsent;
  // The field's figures come from the archive: each is checked before it sizes a read.
  if (field.remaining() < kAesExtraSize) return AesField::kDamaged;
  AesParameters p;
  p.version = field.u16();
  const uint16_t vendor = field.u16();
  p.strength = static_cast<uint8_t>(field.current()[0]);
  field.skip(1);
  p.method = field.u16();
  if ((p.version != 1 && p.version != 2) || vendor != kAesVendorId || p.strength < 1 ||
      p.strength > 3 || p.method == kMethodAes) {
    return AesField::kDamaged;
  }
  *parameters = p;
  return AesField::kValid;
}

bool IsAesEntry(const CentralHeader* entry) {
  return entry->method == kMethodAes && (entry->flags & kFlagEncrypted);
}

AesField EntryAesField(const CentralHeader* entry, const uint8_t* localExtra, size_t localLength,
                       AesParameters* parameters) {
  AesField central = ParseAesField(entry->extra, entry->extraLength, parameters);
  if (central != AesField::kAbsent || !localExtra) return central;
  return ParseAesField(localExtra, localLength, parameters);
}

int AesBits(const CentralHeader* entry) {
  if (!IsAesEntry(entry)) return 0;
  AesParameters parameters;
  if (ParseAesField(entry->extra, entry->extraLength, &parameters) != AesField::kValid) return -1;
  return static_cast<int>(parameters.bits());
}

bool DeriveAesKeys(const char* password, size_t passwordLength, const uint8_t* salt,
                   const AesParameters& parameters, AesKeys* keys) {
  const size_t keySize = parameters.keySize();
  uint8_t derived[2 * kAesMaxKeySize + kAesVerifierSize];
  const size_t derivedSize = 2 * keySize + kAesVerifierSize;
  if (!DerivePbkdf2Sha1(reinterpret_cast<const uint8_t*>(password), passwordLength, salt,
                        parameters.saltSize(), kAesIterations, derived, derivedSize)) {
    return false;
  }
  keys->keySize = static_cast<uint8_t>(keySize);
  std::memcpy(keys->encryption, derived, keySize);
  std::memcpy(keys->authentication, derived + keySize, keySize);
  std::memcpy(keys->verifier, derived + 2 * keySize, kAesVerifierSize);
  std::memset(derived, 0, sizeof derived);
  return true;
}

bool AesStream::start(const AesKeys& keys) {
  counter_ = 0;
  used_ = available_ = 0;
  failed_ = !cipher_.setKey(keys.encryption, keys.keySize) ||
            !mac_.start(keys.authentication, keys.keySize);
  return !failed_;
}

bool AesStream::refill() {
  // The counter blocks of the next stretch, enciphered in one call: the platform pipelines
  // the blocks, which it cannot do one call per block.
  uint8_t* block = keystream_;
  for (size_t i = 0; i < kBlocksAhead; ++i, block += kAesBlockSize) {
    putLe64(block, ++counter_);
    std::memset(block + 8, 0, 8);
  }
  if (!cipher_.encryptBlocks(keystream_, keystream_, kBlocksAhead)) {
    failed_ = true;
    return false;
  }
  used_ = 0;
  available_ = sizeof keystream_;
  return true;
}

void AesStream::applyKeystream(uint8_t* bytes, size_t count) {
  while (count > 0) {
    if (used_ == available_ && !refill()) {
      std::memset(bytes, 0, count);
      return;
    }
    size_t n = available_ - used_;
    if (n > count) n = count;
    const uint8_t* key = keystream_ + used_;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
      uint64_t a, b;
      std::memcpy(&a, bytes + i, 8);
      std::memcpy(&b, key + i, 8);
      a ^= b;
      std::memcpy(bytes + i, &a, 8);
    }
    for (; i < n; ++i) bytes[i] ^= key[i];
    used_ += n;
    bytes += n;
    count -= n;
  }
}

void AesStream::decrypt(uint8_t* bytes, size_t count) {
  mac_.update(bytes, count);
  applyKeystream(bytes, count);
}

void AesStream::encrypt(uint8_t* bytes, size_t count) {
  applyKeystream(bytes, count);
  mac_.update(bytes, count);
}

bool AesStream::finish(uint8_t code[kAesAuthCodeSize]) {
  uint8_t whole[kSha1Size];
  if (failed_ || !mac_.finish(whole)) return false;
  std::memcpy(code, whole, kAesAuthCodeSize);
  return true;
}
