// The encrypting side of the traditional ZIP cipher, written from the format's description and
// kept apart from the engine's decrypting side. Test-only.
#pragma once

#include <cstdint>
#include <string>

class TraditionalEncrypter {
 public:
  explicit TraditionalEncrypter(const std::string& password);
  uint8_t encrypt(uint8_t plain);

 private:
  void update(uint8_t plain);
  uint32_t keys_[3] = {0x12345678u, 0x23456789u, 0x34567890u};
};

// The 12-byte encryption header (eleven filler bytes, then checkByte) followed by bytes, all
// encrypted with password: what an encrypted entry's data looks like in an archive.
std::string EncryptEntryData(const std::string& bytes, const std::string& password,
                             uint8_t checkByte);
