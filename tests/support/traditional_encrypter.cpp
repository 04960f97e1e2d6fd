#include "traditional_encrypter.h"

namespace {

uint32_t CrcStep(uint32_t crc, uint8_t byte) {
  crc ^= byte;
  for (int k = 0; k < 8; ++k) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  return crc;
}

}  // namespace

TraditionalEncrypter::TraditionalEncrypter(const std::string& password) {
  for (unsigned char c : password) update(c);
}

uint8_t TraditionalEncrypter::encrypt(uint8_t plain) {
  const uint32_t t = (keys_[2] & 0xFFFF) | 2;
  const uint8_t cipher = plain ^ static_cast<uint8_t>((t * (t ^ 1)) >> 8);
  update(plain);
  return cipher;
}

void TraditionalEncrypter::update(uint8_t plain) {
  keys_[0] = CrcStep(keys_[0], plain);
  keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813u + 1;
  keys_[2] = CrcStep(keys_[2], static_cast<uint8_t>(keys_[1] >> 24));
}

std::string EncryptEntryData(const std::string& bytes, const std::string& password,
                             uint8_t checkByte) {
  TraditionalEncrypter encrypter(password);
  std::string out;
  for (int i = 0; i < 11; ++i) out.push_back(static_cast<char>(encrypter.encrypt(static_cast<uint8_t>(0x3C + 11 * i))));
  out.push_back(static_cast<char>(encrypter.encrypt(checkByte)));
  for (char c : bytes) out.push_back(static_cast<char>(encrypter.encrypt(static_cast<uint8_t>(c))));
  return out;
}
