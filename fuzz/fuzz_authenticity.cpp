// The authenticity check over arbitrary records, and a round trip: a record sealed for a total
// opens under that total and shows exactly the maker's name and text it was sealed with.
//
// Input: a byte of switches (bits 0-1 how many records the directory held, bit 2 a protected
// entry seen, bit 3 an entry that could not be decoded, bit 4 the round trip), the summary's
// 32-bit total, then either the record's extra field as found in a directory (header ID, size,
// data) or, for the round trip, the maker's number and the name, NUL, text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "authenticity/record.h"
#include "authenticity/verify.h"
#include "fs/codepage.h"
#include "fuzz_support.h"
#include "zip/byte_reader.h"

namespace {

// Keeps a copy of the notice the check shows.
class NoticeFrontEnd : public fuzz::SilentFrontEnd {
 public:
  void showAuthenticity(void*, const AuthenticityNotice& notice) override {
    shown = true;
    name.assign(notice.name, notice.name + std::strlen(notice.name));
    text.assign(notice.text, notice.text + notice.textLength);
  }
  bool shown = false;
  std::vector<uint8_t> name, text;
};

// The record sealed from number and name/text must open to the same name and text.
void RoundTrip(uint32_t total, const uint8_t* data, size_t size) {
  if (size < 4) return;
  const uint32_t number = le32(data);
  const uint8_t* words = data + 4;
  size_t wordsSize = size - 4;
  if (wordsSize > 0xFFFF - kRecordFieldHeaderSize - kRecordName) wordsSize = 0xFFFF - kRecordFieldHeaderSize - kRecordName;
  const void* nul = std::memchr(words, 0, wordsSize);
  const size_t nameLength = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - words) : wordsSize;
  if (nameLength == 0) return;  // a record without a name never opens

  const uint16_t dataSize = static_cast<uint16_t>(kRecordName + wordsSize);
  std::vector<uint8_t> field(kRecordFieldHeaderSize + dataSize);
  putLe32(field.data(), kAuthenticityRecordId | uint32_t{dataSize} << 16);
  uint8_t* plain = field.data() + kRecordFieldHeaderSize;
  putLe32(plain + kRecordChecksum, AuthenticityChecksum(number, words, nameLength));
  putLe32(plain + kRecordNumber, number);
  std::memcpy(plain + kRecordName, words, wordsSize);
  SealAuthenticityRecord(total, plain, dataSize);

  AuthenticitySummary summary;
  summary.total = total;
  summary.recordCount = 1;
  summary.marked = 1;
  summary.record = field.data();
  summary.recordLength = dataSize;
  NoticeFrontEnd front;
  Reporter reporter(front);
  VerifyAuthenticity(summary, reporter);
  // The record holds 1252 text; the notice shows it in UTF-8.
  const size_t textLength = nul ? wordsSize - nameLength - 1 : 0;
  const std::string name = AnsiToUtf8(std::string(reinterpret_cast<const char*>(words), nameLength));
  const std::string text = AnsiToUtf8(
      std::string(reinterpret_cast<const char*>(words) + nameLength + (nul ? 1 : 0), textLength));
  if (!front.shown || reporter.warned() ||
      std::string(front.name.begin(), front.name.end()) != name ||
      std::string(front.text.begin(), front.text.end()) != text) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  const uint8_t switches = data[0];
  const uint32_t total = le32(data + 1);
  data += 5;
  size -= 5;
  if (switches & 0x10) {
    RoundTrip(total, data, size);
    return 0;
  }

  // The field in a buffer of its own size, so that a read past it is caught. A directory's
  // extra field holds at most 65535 bytes.
  if (size > 0xFFFF) size = 0xFFFF;
  std::vector<uint8_t> field(data, data + size);
  if (field.size() < kRecordFieldHeaderSize) field.resize(kRecordFieldHeaderSize);
  AuthenticitySummary summary;
  summary.total = total;
  summary.recordCount = switches & 3;
  summary.marked = (switches >> 2) & 1;
  summary.undecodable = (switches >> 3) & 1;
  summary.record = summary.recordCount ? field.data() : nullptr;
  summary.recordLength = static_cast<uint16_t>(field.size() - kRecordFieldHeaderSize);
  fuzz::SilentFrontEnd front;
  Reporter reporter(front);
  VerifyAuthenticity(summary, reporter);
  return 0;
}
