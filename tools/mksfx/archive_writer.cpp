#include "archive_writer.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>

#include "compressor.h"
#include "entry_name.h"
#include "extract/decrypt.h"
#include "fs/fs.h"
#include "sfx_builder.h"
#include "zip/byte_reader.h"
#include "zip/records.h"

namespace {

constexpr uint16_t kVersion20 = 20;  // Deflate, folders and the traditional encryption
// Made by: version 2.0 on host 0 (FAT), whose external attributes are the DOS attribute byte.
constexpr uint16_t kMadeBy = 20;
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;

// The NTFS extra field as the stub reads it: ID 0x000A, 4 reserved bytes, then attribute 1 of
// 24 bytes holding the last-write, last-access and creation times.
constexpr uint16_t kNtfsExtraId = 0x000A;
constexpr uint16_t kNtfsTimesTag = 0x0001;
constexpr uint16_t kNtfsTimesSize = 24;
constexpr uint16_t kNtfsExtraData = 4 + 4 + kNtfsTimesSize;
constexpr uint16_t kNtfsExtraSize = 4 + kNtfsExtraData;
// 1980-01-01 00:00, the earliest DOS date-time.
constexpr uint32_t kEarliestDosTime = (1u << 5 | 1u) << 16;

std::string Number(uint64_t v) { return std::to_string(v); }

void Put16(std::string& s, uint16_t v) {
  uint8_t b[2];
  putLe16(b, v);
  s.append(reinterpret_cast<char*>(b), 2);
}
void Put32(std::string& s, uint32_t v) {
  uint8_t b[4];
  putLe32(b, v);
  s.append(reinterpret_cast<char*>(b), 4);
}
void Put64(std::string& s, uint64_t v) {
  Put32(s, static_cast<uint32_t>(v));
  Put32(s, static_cast<uint32_t>(v >> 32));
}

// The time as the stub sets it: to the 100 ns. Last access and creation take the last-write
// time: the times of the build would make every build differ.
std::string NtfsExtra(uint64_t lastWrite) {
  std::string extra;
  Put16(extra, kNtfsExtraId);
  Put16(extra, kNtfsExtraData);
  Put32(extra, 0);
  Put16(extra, kNtfsTimesTag);
  Put16(extra, kNtfsTimesSize);
  Put64(extra, lastWrite);
  Put64(extra, lastWrite);
  Put64(extra, lastWrite);
  return extra;
}

// The DOS date-time (local time) of an NTFS time; the earliest DOS time for one before 1980,
// the latest for one past 2107.
uint32_t DosTimeOf(uint64_t fileTime) {
  FileTime time{static_cast<uint32_t>(fileTime), static_cast<uint32_t>(fileTime >> 32)};
  uint32_t dos = toDosDateTime(time);
  if (dos != 0) return dos;
  // 1980 in file-time units, give or take the time zone: which end was passed.
  return fileTime < 119600064000000000ull ? kEarliestDosTime : 0xFF9FBF7Du;
}

// The traditional cipher's stream over a keyed CipherKeys.
uint8_t EncryptByte(CipherKeys& keys, uint8_t plain) {
  uint32_t temp = (keys.key2 | 2) & 0xFFFF;
  uint8_t cipher = plain ^ static_cast<uint8_t>((temp * (temp ^ 1)) >> 8);
  keys.update(plain);
  return cipher;
}

bool ReadWhole(const std::filesystem::path& path, uint64_t size, std::vector<uint8_t>* data,
               std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) {
    *error = path.u8string() + ": cannot open: " + std::strerror(errno);
    return false;
  }
  data->resize(static_cast<size_t>(size));
  if (in && size > 0) in.read(reinterpret_cast<char*>(data->data()), static_cast<std::streamsize>(size));
  // A file that changed size since it was looked at would make the sizes lie.
  if (!in || in.peek() != std::char_traits<char>::eof()) {
    *error = path.u8string() + ": read error, or the file changed while it was read";
    return false;
  }
  return true;
}

// What the local and the central header share, from the version needed to the extra field's
// length.
struct SharedFields {
  uint16_t flags;
  uint16_t method;
  uint32_t dosTime;
  uint32_t crc;
  uint32_t storedSize;
  uint32_t size;
  uint16_t nameLength;
  uint16_t extraLength;
};

void PutShared(std::string& s, const SharedFields& f) {
  Put16(s, kVersion20);
  Put16(s, f.flags);
  Put16(s, f.method);
  Put32(s, f.dosTime);
  Put32(s, f.crc);
  Put32(s, f.storedSize);
  Put32(s, f.size);
  Put16(s, f.nameLength);
  Put16(s, f.extraLength);
}

// One item's bytes as they are stored: deflated where that pays, enciphered under a password.
// The buffers are kept from item to item.
class ItemPacker {
 public:
  bool start(const PackOptions& options, std::string* error) {
    options_ = &options;
    if (options.store) return true;
    deflater_ = MakeDeflater(options.level);
    if (!deflater_) *error = "out of memory for the compressor";
    return deflater_ != nullptr;
  }

  bool pack(const InputItem& item, std::string* error) {
    crc = 0;
    method = kMethodStored;
    encryptionHeader.clear();
    data.clear();
    body_ = &data;
    if (!item.directory) {
      if (!ReadWhole(item.path, item.size, &data, error)) return false;
      crc = Crc32Of(0, data.data(), data.size());
      deflate();
    }
    encrypted = !options_->password.empty() && !item.directory;
    if (encrypted) encipher();
    return true;
  }

  const std::vector<uint8_t>& body() const { return *body_; }
  uint64_t storedSize() const { return encryptionHeader.size() + body_->size(); }

  std::vector<uint8_t> data;     // the item's bytes as read
  std::string encryptionHeader;  // the 12-byte encryption header, when encrypted
  uint32_t crc = 0;
  uint16_t method = kMethodStored;
  bool encrypted = false;

 private:
  void deflate() {
    if (!deflater_ || data.empty()) return;
    packed_.resize(data.size());
    size_t n = deflater_->deflate(data.data(), data.size(), packed_.data(), data.size() - 1);
    if (n == 0) return;  // Deflate does not pay: stored
    packed_.resize(n);
    body_ = &packed_;
    method = kMethodDeflated;
  }

  void encipher() {
    CipherKeys keys;
    keys.init(options_->password.c_str());
    for (int i = 0; i < kEncryptionHeaderSize; ++i) {
      // Its last byte checks the password: the CRC's high byte, as no data descriptor follows.
      uint8_t plain = i == kEncryptionHeaderSize - 1 ? static_cast<uint8_t>(crc >> 24)
                                                     : static_cast<uint8_t>(random_());
      encryptionHeader.push_back(static_cast<char>(EncryptByte(keys, plain)));
    }
    cipherText_.resize(body_->size());
    for (size_t i = 0; i < body_->size(); ++i) cipherText_[i] = EncryptByte(keys, (*body_)[i]);
    body_ = &cipherText_;
  }

  const PackOptions* options_ = nullptr;
  std::unique_ptr<Deflater> deflater_;
  std::random_device random_;
  std::vector<uint8_t> packed_, cipherText_;
  const std::vector<uint8_t>* body_ = &data;
};

void Count(const InputItem& item, const ItemPacker& packer, PackSummary* summary) {
  if (item.directory) {
    ++summary->folders;
    return;
  }
  ++summary->files;
  if (packer.method == kMethodStored) ++summary->storedFiles;
  summary->bytesIn += packer.data.size();
  summary->bytesPacked += packer.storedSize();
}

// Writes the item's local header and data at *position and adds its central header to
// directory.
bool WriteEntry(const InputItem& item, ItemPacker& packer, uint64_t* position,
                std::string* directory, OutputFile& out, std::string* error) {
  StoredName name;
  std::string problem = EncodeEntryName(item.name, &name);
  if (!problem.empty()) {
    *error = item.path.u8string() + ": cannot be stored: " + problem;
    return false;
  }
  if (*position > kMaxOffset) {
    *error = "too large: '" + item.name + "' would start at offset " + Number(*position) +
             ", past the 4 GiB reach of 32-bit ZIP offsets";
    return false;
  }
  if (!packer.pack(item, error)) return false;
  const uint64_t storedSize = packer.storedSize();
  if (storedSize > kMaxEntrySize) {
    *error = "too large: '" + item.name + "' takes " + Number(storedSize) + " bytes stored";
    return false;
  }
  const std::string extra = NtfsExtra(item.stamp.lastWrite);
  const SharedFields fields{
      static_cast<uint16_t>((packer.encrypted ? kFlagEncrypted : 0) | (name.utf8 ? kFlagUtf8Name : 0)),
      packer.method,
      DosTimeOf(item.stamp.lastWrite),
      packer.crc,
      static_cast<uint32_t>(storedSize),
      static_cast<uint32_t>(packer.data.size()),
      static_cast<uint16_t>(name.bytes.size()),
      static_cast<uint16_t>(extra.size())};
  const uint32_t attributes =
      item.directory ? kAttrDirectory : kAttrArchive | (item.stamp.readOnly ? kAttrReadOnly : 0);

  std::string local;
  Put32(local, kLocalHeaderSignature);
  PutShared(local, fields);
  local += name.bytes;
  local += extra;
  local += packer.encryptionHeader;

  std::string& central = *directory;
  Put32(central, kCentralHeaderSignature);
  Put16(central, kMadeBy);
  PutShared(central, fields);
  Put16(central, 0);  // comment
  Put16(central, 0);  // disk
  Put16(central, 0);  // internal attributes
  Put32(central, attributes);
  Put32(central, static_cast<uint32_t>(*position));
  central += name.bytes;
  central += extra;

  const std::vector<uint8_t>& body = packer.body();
  if (!out.write(local.data(), local.size(), error) ||
      !out.write(body.data(), body.size(), error)) {
    return false;
  }
  *position += local.size() + body.size();
  return true;
}

// The directory and the end record after the entries.
bool WriteDirectory(const std::string& directory, size_t entries, uint64_t directoryOffset,
                    OutputFile& out, uint64_t* end, std::string* error) {
  *end = directoryOffset + directory.size() + kEndRecordSize;
  if (directoryOffset > kMaxOffset || *end > kMaxOutputSize) {
    *error = "too large: the self-extracting archive would have " + Number(*end) +
             " bytes, past the 4 GiB a 32-bit stub can read";
    return false;
  }
  std::string record;
  Put32(record, kEndRecordSignature);
  Put16(record, 0);
  Put16(record, 0);
  Put16(record, static_cast<uint16_t>(entries));
  Put16(record, static_cast<uint16_t>(entries));
  Put32(record, static_cast<uint32_t>(directory.size()));
  Put32(record, static_cast<uint32_t>(directoryOffset));
  Put16(record, 0);
  return out.write(directory.data(), directory.size(), error) &&
         out.write(record.data(), record.size(), error);
}

}  // namespace

bool WriteArchive(const std::vector<InputItem>& items, const PackOptions& options,
                  uint64_t zipOffset, OutputFile& out, const ProgressCallback& progress,
                  PackSummary* summary, std::string* error) {
  ItemPacker packer;
  if (!packer.start(options, error)) return false;
  uint64_t position = zipOffset;
  std::string directory;
  for (const InputItem& item : items) {
    if (!WriteEntry(item, packer, &position, &directory, out, error)) return false;
    Count(item, packer, summary);
    if (progress) progress(item.size);
  }
  uint64_t end = 0;
  if (!WriteDirectory(directory, items.size(), position, out, &end, error)) return false;
  summary->archiveSize = end - zipOffset;
  return true;
}
