// The traditional cipher: entries encrypted by real archivers, and a round trip through the
// tests' own encrypter.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "extract/decrypt.h"
#include "traditional_encrypter.h"

namespace {

std::vector<uint8_t> FromHex(const std::string& hex) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

struct KnownEntry {
  const char* maker;
  std::string encrypted;  // the 12-byte header, then the stored data
  uint8_t checkByte;
};

// "vespa known vector\n", stored, password "s3cr3t", DOS time 0x0B23, CRC 0x23EC2B8D.
// Info-ZIP zip -P wrote a data descriptor (flag bit 3): its check byte is the time's high byte.
// 7-Zip with ZipCrypto wrote none: its check byte is the CRC's high byte.
const KnownEntry kKnownEntries[] = {
    {"zip -0 -P", "3c4d0755b4b67f0f2776eca1dffc5d5fba799b51f2e8c8c8aa1b98372f6680", 0x0B},
    {"7z -mem=ZipCrypto", "a01a7f357a72f74a3791d6542803c21f75160919ec3107e48754ae939a5c70", 0x23},
};

TEST(Decrypt, EntriesEncryptedByRealArchivers) {
  for (const KnownEntry& known : kKnownEntries) {
    SCOPED_TRACE(known.maker);
    std::vector<uint8_t> bytes = FromHex(known.encrypted);
    ASSERT_EQ(bytes.size(), 31u);
    CipherKeys keys;
    keys.init("s3cr3t");
    keys.decrypt(bytes.data(), kEncryptionHeaderSize);
    EXPECT_EQ(bytes[11], known.checkByte);
    // The key state stands after the header: the data follows in pieces of any size.
    keys.decrypt(bytes.data() + 12, 5);
    keys.decrypt(bytes.data() + 17, 14);
    EXPECT_EQ(std::string(bytes.begin() + 12, bytes.end()), "vespa known vector\n");
  }
}

TEST(Decrypt, WrongPasswordDoesNotGiveThePlainText) {
  std::vector<uint8_t> bytes = FromHex(kKnownEntries[1].encrypted);
  CipherKeys keys;
  keys.init("s3cr3T");
  keys.decrypt(bytes.data(), 31);
  EXPECT_NE(std::string(bytes.begin() + 12, bytes.end()), "vespa known vector\n");
}

TEST(Decrypt, RoundTripWithPasswordsOfEveryByte) {
  // High bytes in the password are taken as unsigned; an empty password is a valid key.
  const std::string passwords[] = {"", "a", "senha com espaços", std::string("\xff\x80\x01", 3),
                                   std::string(31, 'x')};
  std::string plain;
  for (int i = 0; i < 70000; ++i) plain.push_back(static_cast<char>((i * 131) ^ (i >> 7)));
  for (const std::string& password : passwords) {
    SCOPED_TRACE(password);
    TraditionalEncrypter encrypter(password);
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 12; ++i) bytes.push_back(encrypter.encrypt(static_cast<uint8_t>(i == 11 ? 0xC7 : 17 * i)));
    for (char c : plain) bytes.push_back(encrypter.encrypt(static_cast<uint8_t>(c)));

    CipherKeys keys;
    keys.init(password.c_str());
    keys.decrypt(bytes.data(), kEncryptionHeaderSize);
    EXPECT_EQ(bytes[11], 0xC7);
    keys.decrypt(bytes.data() + 12, static_cast<uint32_t>(plain.size()));
    EXPECT_EQ(std::string(bytes.begin() + 12, bytes.end()), plain);
  }
}

}  // namespace
