// The traditional ZIP encryption: a three-key stream cipher keyed by a password.
#pragma once

#include <cstdint>

#include "fs/text.h"

struct ExtractionContext;
struct CentralHeader;

constexpr int kEncryptionHeaderSize = 12;
// Passwords typed by the user are kept in buffers of this size (31 characters).
constexpr int kPasswordSize = 32;
constexpr int kMaxPasswordPrompts = 5;

// The cipher's three keys, advanced by every plaintext byte. Each decryption has its own.
struct CipherKeys {
  uint32_t key0 = 0x12345678u;
  uint32_t key1 = 0x23456789u;
  uint32_t key2 = 0x34567890u;

  void update(uint8_t byte);
  // Starts over and takes the password's bytes.
  void init(const char* password);
  void decrypt(uint8_t* bytes, uint32_t count);
  // The inverse of decrypt, for the records vespa-mksfx writes.
  void encrypt(uint8_t* bytes, uint32_t count);

 private:
  uint8_t streamByte() const;
};

// kAccepted: the context's keys stand after the 12-byte header. kSkipped: a warning was
// reported, or the run failed reading the header.
enum class PasswordCheck { kAccepted, kSkipped };
PasswordCheck CheckPassword(ExtractionContext* context, const CentralHeader* entry);
// A password as the cipher is keyed with: front ends hand passwords over in UTF-8.
Text PasswordBytes(const char* typed);
// Keeps a password handed over by a front end in both forms: 1252 bytes for the traditional
// cipher, UTF-8 for AES (text that is not UTF-8 is taken as 1252 and converted).
void SetPassword(ExtractionContext* context, const char* typed);
