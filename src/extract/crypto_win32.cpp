// The cryptography seam over CNG (bcrypt.dll): the system's own implementations, which use the
// processor's AES instructions where it has them, and nothing to bundle.
#include <windows.h>
#include <bcrypt.h>

#include "extract/crypto.h"

namespace {

// Algorithm providers are opened once for the process; CNG lets threads share them (each
// thread keeps keys and hashes of its own). Opened through the system's one-time call: a
// function-local static would bring the C++ runtime's guards, and their exception support,
// into every stub.
struct Providers {
  BCRYPT_ALG_HANDLE aes;
  BCRYPT_ALG_HANDLE hmacSha1;
};
Providers gProviders = {nullptr, nullptr};
INIT_ONCE gProvidersOnce = INIT_ONCE_STATIC_INIT;

BOOL CALLBACK OpenProviders(PINIT_ONCE, PVOID, PVOID*) {
  BCRYPT_ALG_HANDLE aes = nullptr;
  if (BCryptOpenAlgorithmProvider(&aes, BCRYPT_AES_ALGORITHM, nullptr, 0) >= 0) {
    if (BCryptSetProperty(aes, BCRYPT_CHAINING_MODE,
                          reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_ECB)),
                          sizeof(BCRYPT_CHAIN_MODE_ECB), 0) >= 0) {
      gProviders.aes = aes;
    } else {
      BCryptCloseAlgorithmProvider(aes, 0);
    }
  }
  BCRYPT_ALG_HANDLE hmac = nullptr;
  if (BCryptOpenAlgorithmProvider(&hmac, BCRYPT_SHA1_ALGORITHM, nullptr,
                                  BCRYPT_ALG_HANDLE_HMAC_FLAG) >= 0) {
    gProviders.hmacSha1 = hmac;
  }
  return TRUE;
}

const Providers& Opened() {
  InitOnceExecuteOnce(&gProvidersOnce, OpenProviders, nullptr, nullptr);
  return gProviders;
}

}  // namespace

bool DerivePbkdf2Sha1(const uint8_t* password, size_t passwordLength, const uint8_t* salt,
                      size_t saltLength, uint32_t iterations, uint8_t* out, size_t outLength) {
  BCRYPT_ALG_HANDLE hmac = Opened().hmacSha1;
  if (!hmac || passwordLength > 0xFFFFFFFFu || saltLength > 0xFFFFFFFFu || outLength > 0xFFFFFFFFu) {
    return false;
  }
  return BCryptDeriveKeyPBKDF2(hmac, const_cast<PUCHAR>(password), static_cast<ULONG>(passwordLength),
                               const_cast<PUCHAR>(salt), static_cast<ULONG>(saltLength), iterations,
                               out, static_cast<ULONG>(outLength), 0) >= 0;
}

AesBlockCipher::~AesBlockCipher() { release(); }

void AesBlockCipher::release() {
  if (handle_) BCryptDestroyKey(static_cast<BCRYPT_KEY_HANDLE>(handle_));
  handle_ = nullptr;
}

bool AesBlockCipher::setKey(const uint8_t* key, size_t keyLength) {
  release();
  BCRYPT_ALG_HANDLE aes = Opened().aes;
  if (!aes || (keyLength != 16 && keyLength != 24 && keyLength != 32)) return false;
  BCRYPT_KEY_HANDLE handle = nullptr;
  // No key object buffer: CNG allocates its own.
  if (BCryptGenerateSymmetricKey(aes, &handle, nullptr, 0, const_cast<PUCHAR>(key),
                                 static_cast<ULONG>(keyLength), 0) < 0) {
    return false;
  }
  handle_ = handle;
  return true;
}

bool AesBlockCipher::encryptBlocks(const uint8_t* in, uint8_t* out, size_t blocks) {
  if (!handle_) return false;
  const size_t bytes = blocks * kAesBlockSize;
  if (bytes > 0xFFFFFFF0u) return false;
  ULONG written = 0;
  return BCryptEncrypt(static_cast<BCRYPT_KEY_HANDLE>(handle_), const_cast<PUCHAR>(in),
                       static_cast<ULONG>(bytes), nullptr, nullptr, 0, out,
                       static_cast<ULONG>(bytes), &written, 0) >= 0 &&
         written == bytes;
}

HmacSha1::~HmacSha1() { release(); }

void HmacSha1::release() {
  if (handle_) BCryptDestroyHash(static_cast<BCRYPT_HASH_HANDLE>(handle_));
  handle_ = nullptr;
}

bool HmacSha1::start(const uint8_t* key, size_t keyLength) {
  release();
  failed_ = false;
  BCRYPT_ALG_HANDLE hmac = Opened().hmacSha1;
  BCRYPT_HASH_HANDLE handle = nullptr;
  if (!hmac || keyLength > 0xFFFFFFFFu ||
      BCryptCreateHash(hmac, &handle, nullptr, 0, const_cast<PUCHAR>(key),
                       static_cast<ULONG>(keyLength), 0) < 0) {
    failed_ = true;
    return false;
  }
  handle_ = handle;
  return true;
}

void HmacSha1::update(const uint8_t* bytes, size_t count) {
  if (!handle_ || failed_) return;
  while (count > 0) {
    const ULONG piece = count > 0x40000000u ? 0x40000000u : static_cast<ULONG>(count);
    if (BCryptHashData(static_cast<BCRYPT_HASH_HANDLE>(handle_), const_cast<PUCHAR>(bytes), piece, 0) < 0) {
      failed_ = true;
      return;
    }
    bytes += piece;
    count -= piece;
  }
}

bool HmacSha1::finish(uint8_t code[kSha1Size]) {
  if (!handle_ || failed_) return false;
  return BCryptFinishHash(static_cast<BCRYPT_HASH_HANDLE>(handle_), code, kSha1Size, 0) >= 0;
}

bool SystemRandom(uint8_t* out, size_t count) {
  return count <= 0xFFFFFFFFu &&
         BCryptGenRandom(nullptr, out, static_cast<ULONG>(count), BCRYPT_USE_SYSTEM_PREFERRED_RNG) >= 0;
}
