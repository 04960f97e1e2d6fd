// The cryptography the engine uses, from the platform: CNG (bcrypt.dll) on Windows, OpenSSL's
// libcrypto (and Nettle's PBKDF2) elsewhere. Nothing here is a cipher, hash or key derivation of our own; these are
// the calls the strong encryption of entries needs, each behind a small value that owns its
// platform handle. Every object belongs to one thread: a worker makes its own from key bytes.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kAesBlockSize = 16;
constexpr size_t kSha1Size = 20;

// PBKDF2 with HMAC-SHA1 as its pseudo-random function: outLength bytes into out. False when the
// platform refused (out of memory, no provider).
bool DerivePbkdf2Sha1(const uint8_t* password, size_t passwordLength, const uint8_t* salt,
                      size_t saltLength, uint32_t iterations, uint8_t* out, size_t outLength);

// The AES block cipher, encrypting only (CTR mode needs no more): whole blocks, in place or not.
class AesBlockCipher {
 public:
  AesBlockCipher() = default;
  ~AesBlockCipher();
  AesBlockCipher(const AesBlockCipher&) = delete;
  AesBlockCipher& operator=(const AesBlockCipher&) = delete;

  // keyLength 16, 24 or 32; false when the platform refused the key.
  bool setKey(const uint8_t* key, size_t keyLength);
  // blocks * 16 bytes; false when the platform failed.
  bool encryptBlocks(const uint8_t* in, uint8_t* out, size_t blocks);

 private:
  void release();
  void* handle_ = nullptr;
};

// HMAC-SHA1 over data given in pieces.
class HmacSha1 {
 public:
  HmacSha1() = default;
  ~HmacSha1();
  HmacSha1(const HmacSha1&) = delete;
  HmacSha1& operator=(const HmacSha1&) = delete;

  bool start(const uint8_t* key, size_t keyLength);
  void update(const uint8_t* bytes, size_t count);
  // The 20-byte code; false when the platform failed at any step since start.
  bool finish(uint8_t code[kSha1Size]);

 private:
  void release();
  void* handle_ = nullptr;
  bool failed_ = false;
};

// Bytes from the system's random source (for salts); false when it could not give them.
bool SystemRandom(uint8_t* out, size_t count);
