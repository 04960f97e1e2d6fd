#include "authenticity_record.h"

#include <zlib.h>

#include "authenticity/record.h"

namespace {

uint32_t Rotl(uint32_t v, uint32_t n) {
  n %= 32;
  return n ? (v << n) | (v >> (32 - n)) : v;
}

// The CRC register run over bytes from start, unconditioned: zlib conditions its register on
// the way in and out.
uint32_t RawCrc(uint32_t start, const std::string& bytes) {
  return ~static_cast<uint32_t>(
      crc32(~start & 0xFFFFFFFFu, reinterpret_cast<const Bytef*>(bytes.data()),
            static_cast<uInt>(bytes.size())));
}

}  // namespace

uint32_t ProtectedTotal(const std::vector<ZipEntryPlan>& entries) {
  uint32_t total = 0;
  for (const ZipEntryPlan& e : entries) {
    if (!(e.internalAttributes & 0x0006) || e.versionMadeBy >= 256) continue;
    uint32_t crc = e.overrideCrc ? e.crc : ReferenceCrc32(e.data);
    total += crc + ((e.internalAttributes & 0x0004) ? e.externalAttributes : e.dosDateTime);
  }
  return total;
}

std::string SealedRecordData(uint32_t total, const AuthenticityRecordPlan& record) {
  uint32_t checksum = Rotl(~RawCrc(record.number, record.name), record.number);
  if (record.checksumWrong) checksum ^= 0x00000100u;
  std::string plain = Le32(0) + Le32(checksum) + Le32(record.number) + record.name;
  if (record.nameTerminated) plain += std::string(1, '\0') + record.text;

  // The key: one character per 4-bit group of the total, least significant first.
  std::string key;
  for (int j = 0; j < 8; ++j) key += static_cast<char>(kAuthenticityKeyOffset + ((total >> (4 * j)) & 0xF));
  TraditionalEncrypter cipher(key);
  std::string sealed;
  const size_t size = plain.size();
  for (size_t i = 0; i < size; ++i) {
    uint8_t c = cipher.encrypt(static_cast<uint8_t>(plain[i]));
    sealed.push_back(static_cast<char>(c ^ static_cast<uint8_t>(size - i)));
  }
  return sealed;
}

std::string RecordField(uint32_t total, const AuthenticityRecordPlan& record) {
  std::string data = SealedRecordData(total, record);
  return Le16(0x0007) + Le16(static_cast<uint16_t>(data.size())) + data;
}
