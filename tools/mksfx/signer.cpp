#include "signer.h"

#include "extract/aes.h"

#include <vector>

#include "authenticity/record.h"
#include "authenticity/summary.h"
#include "zip/byte_reader.h"
#include "zip/records.h"

namespace {

std::string Number(uint64_t v) { return std::to_string(v); }

// The end record's directory size is 32 bits wide.
constexpr uint64_t kMaxDirectorySize = 0xFFFFFFFFull;

// One central header as it will be written.
struct SignedHeader {
  std::vector<uint8_t> fixed;  // the 46 bytes
  std::vector<uint8_t> name;
  std::vector<uint8_t> extra;
  std::vector<uint8_t> comment;
  bool extraWellFormed = true;  // its fields tile the extra field exactly
};

// The extra field without authenticity records. A field that runs past the end, or a tail
// too short for a field header, is kept as it is: it is not ours to mend, and the entry then
// does not carry the new record (the stub's walk would read the record as part of that field).
void DropRecords(ByteReader extra, SignedHeader* header) {
  while (extra.remaining() >= kRecordFieldHeaderSize) {
    const uint8_t* field = extra.current();
    uint16_t id = extra.u16();
    uint16_t size = extra.u16();
    if (size > extra.remaining()) {
      header->extraWellFormed = false;
      header->extra.insert(header->extra.end(), field, field + kRecordFieldHeaderSize + extra.remaining());
      return;
    }
    extra.skip(size);
    if (id != kAuthenticityRecordId) {
      header->extra.insert(header->extra.end(), field, field + kRecordFieldHeaderSize + size);
    }
  }
  if (extra.remaining() > 0) {
    header->extraWellFormed = false;
    header->extra.insert(header->extra.end(), extra.current(), extra.current() + extra.remaining());
  }
}

// The directory bytes for headers followed by tail, with each header's length fields set.
std::vector<uint8_t> Assemble(std::vector<SignedHeader>& headers, const std::vector<uint8_t>& tail,
                              std::vector<uint32_t>* offsets) {
  std::vector<uint8_t> directory;
  offsets->clear();
  for (SignedHeader& h : headers) {
    putLe16(h.fixed.data() + kCentralExtraLength, static_cast<uint16_t>(h.extra.size()));
    offsets->push_back(static_cast<uint32_t>(directory.size()));
    for (const std::vector<uint8_t>* part : {&h.fixed, &h.name, &h.extra, &h.comment}) {
      directory.insert(directory.end(), part->begin(), part->end());
    }
  }
  directory.insert(directory.end(), tail.begin(), tail.end());
  return directory;
}

// The summary the stub gathers when it loads this directory.
AuthenticitySummary Summarize(std::vector<uint8_t>& directory, const std::vector<uint32_t>& offsets) {
  AuthenticitySummary summary;
  for (uint32_t offset : offsets) {
    CentralHeader header;
    uint32_t size = 0;
    if (ParseCentralHeader(directory.data() + offset, directory.size() - offset, &header, &size)) {
      AuthenticityDirectoryHook(&summary, &header);
    }
  }
  return summary;
}

// Whether the stub will find exactly one record in directory and open it to signature.
bool Verifies(std::vector<uint8_t>& directory, const std::vector<uint32_t>& offsets,
              const Signature& signature) {
  AuthenticitySummary summary = Summarize(directory, offsets);
  if (summary.recordCount != 1) return false;
  ByteReader field(summary.record, kRecordFieldHeaderSize + size_t{summary.recordLength});
  field.skip(2);
  uint16_t size = field.u16();
  if (field.failed() || size > field.remaining()) return false;
  std::vector<uint8_t> data(field.current(), field.current() + size);
  data.push_back(0);
  OpenedRecord opened;
  return OpenAuthenticityRecord(summary.total, data.data(), size, &opened) &&
         std::string(opened.name, opened.nameLength) == signature.name &&
         std::string(opened.text, opened.textLength) == signature.text;
}

}  // namespace

bool ParseSignNumber(const std::string& digits, uint32_t* number, std::string* error) {
  bool hex = digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
  uint64_t value = 0;
  // "4294967295" and "0xFFFFFFFF" are the longest: the value cannot wrap on the way.
  bool valid = !digits.empty() && digits.size() <= 10;
  for (size_t i = hex ? 2 : 0; valid && i < digits.size(); ++i) {
    char c = digits[i];
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    valid = digit >= 0;
    value = value * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
  }
  if (!valid || value > 0xFFFFFFFFull) {
    *error = "--sign-number takes a number from 0 to 4294967295 (or 0x0 to 0xFFFFFFFF), not " +
             digits;
    return false;
  }
  *number = static_cast<uint32_t>(value);
  return true;
}

bool SignatureFromArguments(const std::string& name, const std::optional<std::string>& number,
                            const std::optional<std::string>& text, Signature* signature,
                            std::string* error) {
  Signature made;
  if (!ArgumentToAnsi(name, &made.name) || (text && !ArgumentToAnsi(*text, &made.text))) {
    *error = "the maker's name and the additional text must be written in code page 1252 "
             "(Western European), which the stub shows";
    return false;
  }
  // The stub shows the text in a Windows text box, which breaks lines at CR LF only.
  std::string lines;
  for (size_t i = 0; i < made.text.size(); ++i) {
    if (made.text[i] == '\n' && (i == 0 || made.text[i - 1] != '\r')) lines += '\r';
    lines += made.text[i];
  }
  made.text = lines;
  if (number && !ParseSignNumber(*number, &made.number, error)) return false;
  if (!CheckSignature(made, error)) return false;
  *signature = made;
  return true;
}

bool CheckSignature(const Signature& signature, std::string* error) {
  if (signature.name.empty()) {
    *error = "the maker's name is empty: the stub refuses a record without one";
    return false;
  }
  if (signature.name.find('\0') != std::string::npos || signature.text.find('\0') != std::string::npos) {
    *error = "the maker's name and the additional text cannot hold a NUL character";
    return false;
  }
  size_t bytes = signature.name.size() + 1 + signature.text.size();
  if (bytes > kMaxSignatureBytes) {
    *error = "the maker's name and the additional text take " + Number(bytes) +
             " bytes with the name's end; an authenticity record holds at most " +
             Number(kMaxSignatureBytes);
    return false;
  }
  return true;
}

namespace {

// Every header, protected and without the records it carried; the scan has checked that each
// lies whole inside the directory, one after the other. *tail receives what follows the last.
std::vector<SignedHeader> ProtectedHeaders(const ScannedZip& zip, std::vector<uint8_t>* tail) {
  std::vector<SignedHeader> headers;
  size_t end = 0;
  for (const ScannedZip::Entry& entry : zip.entries) {
    const uint8_t* at = zip.directory.data() + entry.headerOffset;
    CentralHeader fixed = ParseCentralHeaderFixed(ByteReader(at, kCentralHeaderSize));
    SignedHeader h;
    h.fixed.assign(at, at + kCentralHeaderSize);
    // The stub leaves entries of other hosts out of its total; the low byte (the ZIP version
    // of the writer) stays.
    putLe16(h.fixed.data() + kCentralVersionMadeBy, fixed.versionMadeBy & 0xFF);
    putLe16(h.fixed.data() + kCentralInternalAttributes, fixed.internalAttributes | kProtectedBit);
    const uint8_t* name = at + kCentralHeaderSize;
    h.name.assign(name, name + fixed.nameLength);
    DropRecords(ByteReader(name + fixed.nameLength, fixed.extraLength), &h);
    const uint8_t* comment = name + fixed.nameLength + fixed.extraLength;
    h.comment.assign(comment, comment + fixed.commentLength);
    headers.push_back(std::move(h));
    end = entry.headerOffset + CentralHeaderSize(at);
  }
  tail->assign(zip.directory.begin() + static_cast<std::ptrdiff_t>(end), zip.directory.end());
  return headers;
}

// The record goes to the entry with the most room left in its extra field; null, with the
// reason, when none can take it.
SignedHeader* ChooseCarrier(std::vector<SignedHeader>& headers, const Signature& signature,
                            std::string* error) {
  SignedHeader* carrier = nullptr;
  for (SignedHeader& h : headers) {
    if (h.extraWellFormed && (!carrier || h.extra.size() < carrier->extra.size())) carrier = &h;
  }
  if (!carrier) {
    *error = "cannot sign: every entry's extra field is damaged, and none can carry the record";
    return nullptr;
  }
  const size_t bytes = signature.name.size() + 1 + signature.text.size();
  const size_t used = carrier->extra.size() + kRecordFieldHeaderSize + kRecordBlockSize;
  if (used + bytes > kMaxExtraFieldSize) {
    *error = "the maker's name and the additional text take " + Number(bytes) +
             " bytes with the name's end; beside the extra fields the entries already have, " +
             "the record can hold at most " +
             Number(used < kMaxExtraFieldSize ? kMaxExtraFieldSize - used : 0);
    return nullptr;
  }
  return carrier;
}

// The authenticity record sealed over total, as a field appended to the carrier's extra field.
void AppendRecord(const Signature& signature, uint32_t total, SignedHeader* carrier) {
  std::vector<uint8_t> data(kRecordBlockSize, 0);
  putLe32(data.data() + kRecordChecksum,
          AuthenticityChecksum(signature.number,
                               reinterpret_cast<const uint8_t*>(signature.name.data()),
                               signature.name.size()));
  putLe32(data.data() + kRecordNumber, signature.number);
  data.insert(data.end(), signature.name.begin(), signature.name.end());
  data.push_back(0);
  data.insert(data.end(), signature.text.begin(), signature.text.end());
  SealAuthenticityRecord(total, data.data(), static_cast<uint16_t>(data.size()));

  uint8_t fieldHeader[kRecordFieldHeaderSize];
  putLe16(fieldHeader, kAuthenticityRecordId);
  putLe16(fieldHeader + 2, static_cast<uint16_t>(data.size()));
  carrier->extra.insert(carrier->extra.end(), fieldHeader, fieldHeader + kRecordFieldHeaderSize);
  carrier->extra.insert(carrier->extra.end(), data.begin(), data.end());
}

}  // namespace

bool SignDirectory(ScannedZip* zip, const Signature& signature, std::string* error) {
  if (!CheckSignature(signature, error)) return false;
  if (zip->entries.empty()) {
    *error = "nothing to sign: the archive has no entries";
    return false;
  }
  // The record is keyed by the entries' CRCs. An AE-2 entry stores 0 there: anyone who knows
  // the password could put other content under the same record.
  for (const ScannedZip::Entry& entry : zip->entries) {
    CentralHeader header;
    uint32_t size = 0;
    AesParameters aes;
    if (entry.headerOffset < zip->directory.size() &&
        ParseCentralHeader(zip->directory.data() + entry.headerOffset,
                           zip->directory.size() - entry.headerOffset, &header, &size) &&
        IsAesEntry(&header) &&
        ParseAesField(header.extra, header.extraLength, &aes) == AesField::kValid && aes.version == 2) {
      *error = "cannot sign: " + entry.name +
               " is AES-encrypted as AE-2, which stores no CRC for the authenticity record to "
               "cover; vespa-mksfx --sign --password packs files as AE-1, which does";
      return false;
    }
  }
  std::vector<uint8_t> tail;
  std::vector<SignedHeader> headers = ProtectedHeaders(*zip, &tail);
  SignedHeader* carrier = ChooseCarrier(headers, signature, error);
  if (!carrier) return false;

  // The total covers every header as written, before the record is added: the record's
  // place in an extra field plays no part in it.
  std::vector<uint32_t> offsets;
  std::vector<uint8_t> unsignedDirectory = Assemble(headers, tail, &offsets);
  AppendRecord(signature, Summarize(unsignedDirectory, offsets).total, carrier);

  std::vector<uint8_t> directory = Assemble(headers, tail, &offsets);
  if (!Verifies(directory, offsets, signature)) {
    *error = "cannot sign: the signed directory would not verify (an entry's extra field holds "
             "a damaged authenticity record that cannot be dropped)";
    return false;
  }
  const uint64_t grown = directory.size();
  if (grown > kMaxDirectorySize) {
    *error = "too large: the signed central directory would have " + Number(grown) +
             " bytes, past the 4 GiB a 32-bit stub can read";
    return false;
  }

  zip->directory = std::move(directory);
  SetDirectorySize(zip, static_cast<uint32_t>(zip->directory.size()));
  for (size_t i = 0; i < offsets.size(); ++i) zip->entries[i].headerOffset = offsets[i];
  return true;
}
