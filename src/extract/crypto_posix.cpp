// The cryptography seam over OpenSSL's libcrypto, and Nettle's PBKDF2: libcrypto's runs every
// one of its thousand HMAC rounds through its provider dispatch and takes twice Nettle's time,
// which is what a test of many small AES entries costs.
#include "extract/crypto.h"

#include <nettle/pbkdf2.h>

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/rand.h>

#include <climits>

namespace {

EVP_MAC* HmacAlgorithm() {
  // Fetched once for the process: a fetch looks the provider up by name, a cost per entry
  // otherwise. libcrypto's fetched objects are safe to share between threads.
  static EVP_MAC* const mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
  return mac;
}

const EVP_CIPHER* EcbCipher(size_t keyLength) {
  switch (keyLength) {
    case 16: return EVP_aes_128_ecb();
    case 24: return EVP_aes_192_ecb();
    case 32: return EVP_aes_256_ecb();
    default: return nullptr;
  }
}

}  // namespace

bool DerivePbkdf2Sha1(const uint8_t* password, size_t passwordLength, const uint8_t* salt,
                      size_t saltLength, uint32_t iterations, uint8_t* out, size_t outLength) {
  if (passwordLength > INT_MAX || saltLength > INT_MAX || outLength > INT_MAX || iterations > INT_MAX) {
    return false;
  }
  if (iterations == 0) return false;
  pbkdf2_hmac_sha1(passwordLength, password, iterations, saltLength, salt, outLength, out);
  return true;
}

AesBlockCipher::~AesBlockCipher() { release(); }

void AesBlockCipher::release() {
  EVP_CIPHER_CTX_free(static_cast<EVP_CIPHER_CTX*>(handle_));
  handle_ = nullptr;
}

bool AesBlockCipher::setKey(const uint8_t* key, size_t keyLength) {
  release();
  const EVP_CIPHER* cipher = EcbCipher(keyLength);
  if (!cipher) return false;
  EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
  if (!context) return false;
  handle_ = context;
  if (EVP_EncryptInit_ex(context, cipher, nullptr, key, nullptr) != 1) return release(), false;
  EVP_CIPHER_CTX_set_padding(context, 0);
  return true;
}

bool AesBlockCipher::encryptBlocks(const uint8_t* in, uint8_t* out, size_t blocks) {
  auto* context = static_cast<EVP_CIPHER_CTX*>(handle_);
  if (!context) return false;
  const size_t bytes = blocks * kAesBlockSize;
  if (bytes > INT_MAX) return false;
  int written = 0;
  return EVP_EncryptUpdate(context, out, &written, in, static_cast<int>(bytes)) == 1 &&
         static_cast<size_t>(written) == bytes;
}

HmacSha1::~HmacSha1() { release(); }

void HmacSha1::release() {
  EVP_MAC_CTX_free(static_cast<EVP_MAC_CTX*>(handle_));
  handle_ = nullptr;
}

bool HmacSha1::start(const uint8_t* key, size_t keyLength) {
  release();
  failed_ = false;
  EVP_MAC* mac = HmacAlgorithm();
  if (!mac) return failed_ = true, false;
  EVP_MAC_CTX* context = EVP_MAC_CTX_new(mac);
  if (!context) return failed_ = true, false;
  handle_ = context;
  char digest[] = "SHA1";
  OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                         OSSL_PARAM_construct_end()};
  if (EVP_MAC_init(context, key, keyLength, params) != 1) return failed_ = true, false;
  return true;
}

void HmacSha1::update(const uint8_t* bytes, size_t count) {
  auto* context = static_cast<EVP_MAC_CTX*>(handle_);
  if (!context || failed_) return;
  if (count && EVP_MAC_update(context, bytes, count) != 1) failed_ = true;
}

bool HmacSha1::finish(uint8_t code[kSha1Size]) {
  auto* context = static_cast<EVP_MAC_CTX*>(handle_);
  if (!context || failed_) return false;
  size_t length = 0;
  return EVP_MAC_final(context, code, &length, kSha1Size) == 1 && length == kSha1Size;
}

bool SystemRandom(uint8_t* out, size_t count) {
  return count <= INT_MAX && RAND_bytes(out, static_cast<int>(count)) == 1;
}
