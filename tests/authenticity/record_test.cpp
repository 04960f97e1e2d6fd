// The authenticity record's primitives: the code shown, the key, and opening and sealing the
// data, against records sealed by the test writer from the format's description.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "authenticity/record.h"
#include "authenticity_record.h"

namespace {

std::string Code(uint32_t value) {
  char code[kAuthenticityCodeSize];
  AuthenticityCode(value, code);
  return code;
}

TEST(AuthenticityCode, ThreeLettersFromTheHighBitsAndThreeDigitsFromTheLow) {
  EXPECT_EQ(Code(0), "AAA000");
  EXPECT_EQ(Code(0xFFFFFFFFu), "YGD996");
  // 123456 rotated left by 7 is 15802368: letters from 60 (A, C, I), digits 73728 / 263.
  EXPECT_EQ(Code(AuthenticityCodeValue(123456)), "ACI280");
  // The rotation carries the top bits round to the bottom.
  EXPECT_EQ(AuthenticityCodeValue(0x80000001u), 0x000000C0u);
}

TEST(AuthenticityKey, OneCharacterPerFourBitGroupLeastSignificantFirst) {
  char key[kAuthenticityKeyLength + 1];
  AuthenticityKey(0x1F2E3D4Cu, key);
  std::string expected;
  for (int nibble : {0xC, 0x4, 0xD, 0x3, 0xE, 0x2, 0xF, 0x1}) {
    expected += static_cast<char>(kAuthenticityKeyOffset + nibble);
  }
  EXPECT_EQ(std::string(key), expected);
  // A group of 0 is still a character: the key never comes out shorter.
  AuthenticityKey(0, key);
  EXPECT_EQ(std::string(key).size(), 8u);
}

struct OpenCase {
  const char* what;
  AuthenticityRecordPlan record;
  bool wrongTotal;
  bool good;
  std::string name;
  std::string text;
};

TEST(OpenAuthenticityRecord, ChecksNumberNameAndKey) {
  const uint32_t total = 0x9A3C51E7u;
  const std::vector<OpenCase> cases = {
      {"name and text", {123456, "Fábrica Ltda.", "Linha 1\r\nLinha 2"}, false, true,
       "Fábrica Ltda.", "Linha 1\r\nLinha 2"},
      {"name alone", {7, "Fábrica Ltda.", ""}, false, true, "Fábrica Ltda.", ""},
      {"a name running to the end of the data", {7, "Sem fim", "", false}, false, true,
       "Sem fim", ""},
      {"an empty name, its checksum right", {7, "", "texto"}, false, false, "", ""},
      {"a checksum that does not match", {7, "Fábrica", "", true, true}, false, false, "", ""},
      {"another total: the entries changed", {7, "Fábrica", ""}, true, false, "", ""},
  };
  for (const OpenCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::string sealed = SealedRecordData(total, c.record);
    std::vector<uint8_t> data(sealed.begin(), sealed.end());
    data.push_back(0x55);  // the byte past the data becomes the NUL
    OpenedRecord opened;
    bool good = OpenAuthenticityRecord(c.wrongTotal ? total + 1 : total, data.data(),
                                       static_cast<uint16_t>(sealed.size()), &opened);
    ASSERT_EQ(good, c.good);
    if (!good) continue;
    EXPECT_EQ(std::string(opened.name, opened.nameLength), c.name);
    EXPECT_STREQ(opened.name, c.name.c_str());
    EXPECT_EQ(std::string(opened.text, opened.textLength), c.text);
    EXPECT_STREQ(opened.text, c.text.c_str());
    EXPECT_EQ(std::string(opened.code), Code(AuthenticityCodeValue(c.record.number)));
  }
}

TEST(SealAuthenticityRecord, WritesWhatTheFormatDescribes) {
  // The builder's sealing gives the bytes the test writer makes from the description.
  const uint32_t total = 0x0BADF00Du;
  AuthenticityRecordPlan record{0xCAFE, "Oficina de Software", "Versão 2\r\nTodos os direitos"};
  std::string expected = SealedRecordData(total, record);

  std::string plain(12, '\0');
  std::vector<uint8_t> data;
  std::vector<uint8_t> name(record.name.begin(), record.name.end());
  uint32_t checksum = AuthenticityChecksum(record.number, name.data(), name.size());
  for (int i = 0; i < 4; ++i) {
    plain[kRecordChecksum + i] = static_cast<char>(checksum >> (8 * i));
    plain[kRecordNumber + i] = static_cast<char>(record.number >> (8 * i));
  }
  plain += record.name + std::string(1, '\0') + record.text;
  data.assign(plain.begin(), plain.end());
  SealAuthenticityRecord(total, data.data(), static_cast<uint16_t>(data.size()));
  EXPECT_EQ(std::string(data.begin(), data.end()), expected);
}

}  // namespace
