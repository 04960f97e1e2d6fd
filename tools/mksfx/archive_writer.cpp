#include "archive_writer.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <condition_variable>
#include <mutex>
#include <random>
#include <thread>

#include "app/parallel_run.h"
#include "compressor.h"
#include "entry_name.h"
#include "extract/aes.h"
#include "extract/decrypt.h"
#include "fs/codepage.h"
#include "fs/fs.h"
#include "sfx_builder.h"
#include "zip/byte_reader.h"
#include "zip/records.h"

namespace {

constexpr uint16_t kVersion20 = 20;  // Deflate, folders and the traditional encryption
constexpr uint16_t kVersion45 = 45;  // ZIP64
constexpr uint16_t kVersion63 = 63;  // LZMA
// Made by: version 2.0 on host 0 (FAT), whose external attributes are the DOS attribute byte.
constexpr uint16_t kMadeBy = 20;
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;
constexpr uint16_t kMethodLzma = 14;

// The NTFS extra field as the stub reads it: ID 0x000A, 4 reserved bytes, then attribute 1 of
// 24 bytes holding the last-write, last-access and creation times.
constexpr uint16_t kNtfsExtraId = 0x000A;
constexpr uint16_t kNtfsTimesTag = 0x0001;
constexpr uint16_t kNtfsTimesSize = 24;
constexpr uint16_t kNtfsExtraData = 4 + 4 + kNtfsTimesSize;
constexpr uint16_t kNtfsExtraSize = 4 + kNtfsExtraData;
// 1980-01-01 00:00, the earliest DOS date-time.
constexpr uint32_t kEarliestDosTime = (1u << 5 | 1u) << 16;

const char* const kNoLzma =
    "--method lzma: this build of vespa-mksfx has no LZMA compressor (liblzma); the Linux build "
    "writes LZMA, this one --method deflate or store";

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

// AES-encrypted entries: AE-2, whose CRC field is 0 (the CRC of the plain data would tell of it;
// the authentication code checks the data instead), or AE-1 for a signed archive.
uint16_t AesVersion(const PackOptions& options) { return options.aesKeepsCrc ? 1 : 2; }

bool UsesAes(const PackOptions& options) {
  return !options.password.empty() && options.cipher != Cipher::kTraditional;
}

uint8_t AesStrength(Cipher cipher) {
  return cipher == Cipher::kAes128 ? 1 : cipher == Cipher::kAes192 ? 2 : 3;
}

// The 0x9901 field, the same in both headers: version, vendor, strength, the real method.
std::string AesExtra(const PackOptions& options, uint16_t method) {
  std::string extra;
  Put16(extra, kAesExtraId);
  Put16(extra, kAesExtraSize);
  Put16(extra, AesVersion(options));
  Put16(extra, kAesVendorId);
  extra.push_back(static_cast<char>(AesStrength(options.cipher)));
  Put16(extra, method);
  return extra;
}

// One entry's AES: a fresh salt from the system's random source, the keys from the password
// in UTF-8, the stream that enciphers and authenticates.
class AesSealer {
 public:
  // *prefix receives the salt and the password verifier that go before the data.
  bool begin(const PackOptions& options, std::string* prefix, std::string* error) {
    parameters_.version = AesVersion(options);
    parameters_.strength = AesStrength(options.cipher);
    uint8_t salt[kAesMaxSaltSize];
    const std::string utf8 = AnsiToUtf8(options.password);
    AesKeys keys;
    if (!SystemRandom(salt, parameters_.saltSize())) {
      return *error = "the system's random source gave no salt", false;
    }
    if (!DeriveAesKeys(utf8.data(), utf8.size(), salt, parameters_, &keys) || !stream_.start(keys)) {
      return *error = "the system's cryptography refused the AES keys", false;
    }
    prefix->assign(reinterpret_cast<const char*>(salt), parameters_.saltSize());
    prefix->append(reinterpret_cast<const char*>(keys.verifier), kAesVerifierSize);
    return true;
  }
  void encrypt(uint8_t* bytes, size_t count) { stream_.encrypt(bytes, count); }
  bool end(std::string* code, std::string* error) {
    uint8_t bytes[kAesAuthCodeSize];
    if (!stream_.finish(bytes)) return *error = "the system's cryptography failed", false;
    code->assign(reinterpret_cast<const char*>(bytes), kAesAuthCodeSize);
    return true;
  }

 private:
  AesParameters parameters_;
  AesStream stream_;
};

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
// length. Only an entry whose sizes reach 4 GiB carries a ZIP64 extra field (and needs version
// 4.5); the offsets of a program file never do (see kMaxOutputSize).
struct SharedFields {
  uint16_t flags;
  uint16_t method;
  uint32_t dosTime;
  uint32_t crc;
  uint64_t storedSize;
  uint64_t size;
  uint16_t nameLength;
  bool aes = false;  // method 99, the real one in the 0x9901 field
  uint16_t dataMethod = 0;  // with aes: that real method
  bool zip64() const { return size >= kSaturated32 || storedSize >= kSaturated32; }
};

uint32_t Field32(uint64_t value) {
  return value >= kSaturated32 ? kSaturated32 : static_cast<uint32_t>(value);
}

// The ZIP64 extra field: the local header's holds both sizes, the central one's only those
// saturated. Empty for an entry that needs none.
std::string Zip64Extra(const SharedFields& f, bool local) {
  if (!f.zip64()) return "";
  std::string values;
  if (local || f.size >= kSaturated32) Put64(values, f.size);
  if (local || f.storedSize >= kSaturated32) Put64(values, f.storedSize);
  std::string extra;
  Put16(extra, kZip64ExtraId);
  Put16(extra, static_cast<uint16_t>(values.size()));
  return extra + values;
}

// extra: the header's whole extra field, which differs between the two headers with ZIP64.
void PutShared(std::string& s, const SharedFields& f, bool local, const std::string& extra) {
  // LZMA needs 6.3 wherever it is, also inside AES; AES 5.1; ZIP64 4.5.
  const bool lzma = f.method == kMethodLzma || (f.aes && f.dataMethod == kMethodLzma);
  Put16(s, lzma ? kVersion63 : f.aes ? kAesVersionNeeded : f.zip64() ? kVersion45 : kVersion20);
  Put16(s, f.flags);
  Put16(s, f.method);
  Put32(s, f.dosTime);
  Put32(s, f.crc);
  Put32(s, local && f.zip64() ? kSaturated32 : Field32(f.storedSize));
  Put32(s, local && f.zip64() ? kSaturated32 : Field32(f.size));
  Put16(s, f.nameLength);
  Put16(s, static_cast<uint16_t>(extra.size()));
}

std::string LocalHeaderBytes(const SharedFields& f, const std::string& name, const std::string& ntfs) {
  const std::string extra = Zip64Extra(f, true) + ntfs;
  std::string local;
  Put32(local, kLocalHeaderSignature);
  PutShared(local, f, true, extra);
  return local + name + extra;
}

std::string TooLarge(uint64_t bytes) {
  return "too large: the self-extracting archive would have " + Number(bytes) +
         " bytes or more; Windows does not start a program file of 4 GiB or more. Make a "
         "spanned set of smaller disks (--span), or leave the largest files out";
}

// A file too large to hold: deflated as it is read, written as it is deflated, enciphered
// under a password (whose check byte needs the CRC first: read once more for it). The local
// header is written with sizes to come and patched once they are known.
class StreamedItem {
 public:
  StreamedItem(const InputItem& item, const PackOptions& options, OutputFile& out)
      : item_(item), options_(options), out_(out) {}

  bool write(SharedFields* f, uint64_t offset, const std::string& name, const std::string& ntfs,
             std::string* error) {
    std::unique_ptr<StreamDeflater> deflater = MakeStreamDeflater(options_.level);
    if (!deflater) return *error = "out of memory for the compressor", false;
    const bool encrypted = f->flags & kFlagEncrypted;
    aes_ = f->aes;
    // The traditional header's check byte needs the CRC before the data; AES needs none.
    if (encrypted && !aes_ && !crcOfFile(&f->crc, error)) return false;
    keys_.init(options_.password.c_str());
    std::string header;
    for (int i = 0; encrypted && !aes_ && i < kEncryptionHeaderSize; ++i) {
      uint8_t plain = i == kEncryptionHeaderSize - 1 ? static_cast<uint8_t>(f->crc >> 24)
                                                     : static_cast<uint8_t>(random_());
      header.push_back(static_cast<char>(EncryptByte(keys_, plain)));
    }
    f->method = aes_ ? kMethodAes : kMethodDeflated;
    if (aes_ && !sealer_.begin(options_, &header, error)) return false;
    const std::string local = LocalHeaderBytes(*f, name, ntfs);
    if (!out_.write(local.data(), local.size(), error) || !out_.write(header.data(), header.size(), error)) {
      return false;
    }
    end_ = offset + local.size() + header.size();
    uint32_t crc = 0;
    if (!deflateFile(*deflater, encrypted, &crc, error)) return false;
    if (aes_) {
      std::string code;
      if (!sealer_.end(&code, error) || !out_.write(code.data(), code.size(), error)) return false;
      end_ += code.size();
      if (end_ > kMaxOutputSize) return *error = TooLarge(end_), false;
    }
    if (encrypted && !aes_ && crc != f->crc) return *error = changed(), false;
    f->crc = aes_ && !options_.aesKeepsCrc ? 0 : crc;
    f->storedSize = end_ - offset - local.size();
    const std::string patched = LocalHeaderBytes(*f, name, ntfs);
    return out_.patch(offset, patched.data(), patched.size(), error);
  }

 private:
  std::string changed() const {
    return item_.path.u8string() + ": read error, or the file changed while it was read";
  }

  bool crcOfFile(uint32_t* crc, std::string* error) {
    std::ifstream in(item_.path, std::ios::binary);
    std::vector<uint8_t> piece(1 << 20);
    *crc = 0;
    while (in) {
      in.read(reinterpret_cast<char*>(piece.data()), static_cast<std::streamsize>(piece.size()));
      *crc = Crc32Of(*crc, piece.data(), static_cast<size_t>(in.gcount()));
    }
    if (!in.eof()) *error = changed();
    return in.eof();
  }

  bool deflateFile(StreamDeflater& deflater, bool encrypted, uint32_t* crc, std::string* error) {
    std::ifstream in(item_.path, std::ios::binary);
    if (!in.is_open()) return *error = item_.path.u8string() + ": cannot open", false;
    auto sink = [&](const uint8_t* bytes, size_t size) {
      std::vector<uint8_t> cipher;
      if (encrypted) {
        cipher.assign(bytes, bytes + size);
        if (aes_) {
          sealer_.encrypt(cipher.data(), cipher.size());
        } else {
          for (uint8_t& b : cipher) b = EncryptByte(keys_, b);
        }
        bytes = cipher.data();
      }
      end_ += size;
      if (end_ > kMaxOutputSize) return *error = TooLarge(end_), false;
      return out_.write(bytes, size, error);
    };
    std::vector<uint8_t> piece(1 << 20);
    uint64_t read = 0;
    while (in) {
      in.read(reinterpret_cast<char*>(piece.data()), static_cast<std::streamsize>(piece.size()));
      const size_t got = static_cast<size_t>(in.gcount());
      read += got;
      *crc = Crc32Of(*crc, piece.data(), got);
      if (!deflater.deflate(piece.data(), got, !in, sink)) {
        if (error->empty()) *error = item_.path.u8string() + ": compression failed";
        return false;
      }
    }
    if (!in.eof() || read != item_.size) return *error = changed(), false;
    return true;
  }

  const InputItem& item_;
  const PackOptions& options_;
  OutputFile& out_;
  CipherKeys keys_;
  AesSealer sealer_;
  bool aes_ = false;
  std::random_device random_;
  uint64_t end_ = 0;  // of what is written so far, absolute
};

// One item's bytes as they are stored: deflated where that pays, enciphered under a password.
// The buffers are kept from item to item.
class ItemPacker {
 public:
  bool start(const PackOptions& options, std::string* error) {
    options_ = &options;
    if (options.store) return true;
    if (options.lzma) {
      lzma_ = MakeLzmaPacker(options.level);
      if (!lzma_) *error = LzmaCompressorName() ? "out of memory for the compressor" : kNoLzma;
      return lzma_ != nullptr;
    }
    deflater_ = MakeDeflater(options.level);
    if (!deflater_) *error = "out of memory for the compressor";
    return deflater_ != nullptr;
  }

  bool pack(const InputItem& item, std::string* error) {
    crc = 0;
    method = kMethodStored;
    encryptionHeader.clear();
    trailer.clear();
    data.clear();
    body_ = &data;
    if (!item.directory) {
      if (!ReadWhole(item.path, item.size, &data, error)) return false;
      crc = Crc32Of(0, data.data(), data.size());
      deflate();
    }
    encrypted = !options_->password.empty() && !item.directory;
    if (encrypted && UsesAes(*options_)) return encipherAes(error);
    if (encrypted) encipher();
    return true;
  }

  // The packed item as a packer of its own, without this one's compressor, which packs the next.
  std::unique_ptr<ItemPacker> detach() {
    std::unique_ptr<ItemPacker> result(new ItemPacker);
    result->options_ = options_;
    result->data.swap(data);
    result->packed_.swap(packed_);
    result->cipherText_.swap(cipherText_);
    result->body_ = body_ == &packed_ ? &result->packed_ : body_ == &cipherText_ ? &result->cipherText_ : &result->data;
    body_ = &data;
    result->encryptionHeader.swap(encryptionHeader);
    result->trailer.swap(trailer);
    result->crc = crc;
    result->method = method;
    result->encrypted = encrypted;
    return result;
  }

  const std::vector<uint8_t>& body() const { return *body_; }
  const PackOptions& options() const { return *options_; }
  uint64_t storedSize() const { return encryptionHeader.size() + body_->size() + trailer.size(); }

  std::vector<uint8_t> data;     // the item's bytes as read
  std::string encryptionHeader;  // the 12-byte encryption header, or the AES salt and verifier
  std::string trailer;           // the AES authentication code
  uint32_t crc = 0;
  uint16_t method = kMethodStored;
  bool encrypted = false;

 private:
  void deflate() {
    if ((!deflater_ && !lzma_) || data.empty()) return;
    packed_.resize(data.size());
    size_t n = lzma_ ? lzma_->compress(data.data(), data.size(), packed_.data(), data.size() - 1)
                     : deflater_->deflate(data.data(), data.size(), packed_.data(), data.size() - 1);
    if (n == 0) return;  // compression does not pay: stored
    packed_.resize(n);
    body_ = &packed_;
    method = lzma_ ? kMethodLzma : kMethodDeflated;
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

  bool encipherAes(std::string* error) {
    AesSealer sealer;
    if (!sealer.begin(*options_, &encryptionHeader, error)) return false;
    cipherText_.assign(body_->begin(), body_->end());
    sealer.encrypt(cipherText_.data(), cipherText_.size());
    body_ = &cipherText_;
    return sealer.end(&trailer, error);
  }

  const PackOptions* options_ = nullptr;
  std::unique_ptr<Deflater> deflater_;
  std::unique_ptr<LzmaPacker> lzma_;
  std::random_device random_;
  std::vector<uint8_t> packed_, cipherText_;
  const std::vector<uint8_t>* body_ = &data;
};

void Count(const InputItem& item, const SharedFields& written, PackSummary* summary) {
  if (item.directory) {
    ++summary->folders;
    return;
  }
  ++summary->files;
  if (written.method == kMethodStored) ++summary->storedFiles;
  summary->bytesIn += written.size;
  summary->bytesPacked += written.storedSize;
}

// A file too large to hold, deflated as it is read rather than packed beforehand.
bool Streamed(const InputItem& item, const PackOptions& options) {
  return !item.directory && !options.store && item.size >= options.streamFrom;
}

// Packs the items ahead of the writer on `workers` threads: every item gets a packer of its
// own, so that what an item becomes depends on nothing but the item, whatever the number of
// threads; the writer takes them in order. At most kPackAhead items and kPackAheadBytes of file
// data are held at once (at least one item).
class PackAhead {
 public:
  static constexpr size_t kPackAhead = 64;
  static constexpr uint64_t kPackAheadBytes = 512u << 20;

  PackAhead(const std::vector<InputItem>& items, const PackOptions& options, unsigned workers)
      : items_(items), options_(options), slots_(items.size()) {
    for (unsigned i = 0; i < workers; ++i) threads_.emplace_back([this] { work(); });
  }
  ~PackAhead() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    for (std::thread& t : threads_) t.join();
  }

  // The packed item i (null for a streamed one); false with the reason when packing failed.
  bool take(size_t i, std::unique_ptr<ItemPacker>* packer, std::string* error) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return slots_[i].done; });
    Slot& slot = slots_[i];
    *packer = std::move(slot.packer);
    if (!slot.error.empty()) *error = slot.error;
    taken_ = i + 1;
    heldBytes_ -= slot.bytes;
    changed_.notify_all();
    return slot.error.empty();
  }

 private:
  struct Slot {
    std::unique_ptr<ItemPacker> packer;
    std::string error;
    uint64_t bytes = 0;
    bool done = false;
  };

  void work() {
    ItemPacker packer;
    std::string startError;
    packer.start(options_, &startError);
    for (;;) {
      size_t i;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] {
          return stopping_ || (next_ < items_.size() &&
                               (next_ == taken_ || (next_ - taken_ < kPackAhead && heldBytes_ < kPackAheadBytes)));
        });
        if (stopping_ || next_ >= items_.size()) return;
        i = next_++;
        slots_[i].bytes = items_[i].directory ? 0 : items_[i].size;
        heldBytes_ += slots_[i].bytes;
      }
      std::unique_ptr<ItemPacker> packed;
      std::string error = startError;
      if (error.empty() && !Streamed(items_[i], options_) && packer.pack(items_[i], &error)) {
        packed = packer.detach();
      }
      {
        std::lock_guard<std::mutex> lock(mutex_);
        slots_[i].packer = std::move(packed);
        slots_[i].error = error;
        slots_[i].done = true;
      }
      changed_.notify_all();
    }
  }

  const std::vector<InputItem>& items_;
  const PackOptions& options_;
  std::vector<Slot> slots_;
  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable changed_;
  size_t next_ = 0;   // the next item to pack
  size_t taken_ = 0;  // items the writer took
  uint64_t heldBytes_ = 0;
  bool stopping_ = false;
};

// Writes the item's local header and data at *position and adds its central header to
// directory; *written receives what the headers say.
bool WriteEntry(const InputItem& item, ItemPacker& packer, uint64_t* position,
                std::string* directory, OutputFile& out, SharedFields* written,
                std::string* error) {
  // packer: holds the item packed already, unless the item is streamed (see Streamed).
  StoredName name;
  std::string problem = EncodeEntryName(item.name, &name);
  if (!problem.empty()) {
    *error = item.path.u8string() + ": cannot be stored: " + problem;
    return false;
  }
  std::string ntfs = NtfsExtra(item.stamp.lastWrite);
  const bool encrypted = !packer.options().password.empty() && !item.directory;
  SharedFields fields{
      static_cast<uint16_t>((encrypted ? kFlagEncrypted : 0) | (name.utf8 ? kFlagUtf8Name : 0)),
      kMethodStored, DosTimeOf(item.stamp.lastWrite), 0, 0, item.size,
      static_cast<uint16_t>(name.bytes.size()), encrypted && UsesAes(packer.options())};
  // An AES entry's method is 99 in its headers; the real one goes into its 0x9901 field, after
  // the NTFS field in both headers. Streamed files are always deflated.
  const uint64_t start = *position;
  // Files of 4 GiB and more are never held in memory; stored, they could not fit either.
  if (!item.directory && item.size >= kSaturated32 && packer.options().store) {
    return *error = TooLarge(start + item.size), false;
  }
  if (Streamed(item, packer.options())) {
    if (fields.aes) {
      ntfs += AesExtra(packer.options(), kMethodDeflated);
      fields.method = kMethodAes;
      fields.dataMethod = kMethodDeflated;
    }
    StreamedItem streamed(item, packer.options(), out);
    if (!streamed.write(&fields, start, name.bytes, ntfs, error)) return false;
    *position += LocalHeaderBytes(fields, name.bytes, ntfs).size() + fields.storedSize;
  } else {
    fields.method = packer.method;
    fields.crc = packer.crc;
    if (fields.aes) {
      ntfs += AesExtra(packer.options(), packer.method);
      fields.method = kMethodAes;
      fields.dataMethod = packer.method;
      if (!packer.options().aesKeepsCrc) fields.crc = 0;
    }
    fields.storedSize = packer.storedSize();
    fields.size = packer.data.size();
    if (start + fields.storedSize > kMaxOutputSize) return *error = TooLarge(start + fields.storedSize), false;
    const std::string local = LocalHeaderBytes(fields, name.bytes, ntfs) + packer.encryptionHeader;
    const std::vector<uint8_t>& body = packer.body();
    if (!out.write(local.data(), local.size(), error) ||
        !out.write(body.data(), body.size(), error) ||
        !out.write(packer.trailer.data(), packer.trailer.size(), error)) {
      return false;
    }
    *position += local.size() + body.size() + packer.trailer.size();
  }

  const std::string extra = Zip64Extra(fields, false) + ntfs;
  std::string& central = *directory;
  Put32(central, kCentralHeaderSignature);
  Put16(central, kMadeBy);
  PutShared(central, fields, false, extra);
  Put16(central, 0);  // comment
  Put16(central, 0);  // disk
  Put16(central, 0);  // internal attributes
  Put32(central, item.directory ? kAttrDirectory
                                : kAttrArchive | (item.stamp.readOnly ? kAttrReadOnly : 0));
  Put32(central, static_cast<uint32_t>(start));
  central += name.bytes;
  central += extra;
  *written = fields;
  return true;
}

// The ZIP64 end record and its locator, for a count that does not fit in 16 bits (0xFFFF itself
// says "see the ZIP64 end record").
std::string Zip64EndRecords(uint64_t entries, uint64_t directoryOffset, uint64_t directorySize) {
  std::string record;
  Put32(record, kZip64EndSignature);
  Put64(record, kZip64EndSize - 12);  // what follows the size field
  Put16(record, kMadeBy);
  Put16(record, kVersion45);
  Put32(record, 0);
  Put32(record, 0);
  Put64(record, entries);
  Put64(record, entries);
  Put64(record, directorySize);
  Put64(record, directoryOffset);
  Put32(record, kZip64LocatorSignature);
  Put32(record, 0);
  Put64(record, directoryOffset + directorySize);
  Put32(record, 1);
  return record;
}

// The directory and the end record after the entries.
bool WriteDirectory(const std::string& directory, size_t entries, uint64_t directoryOffset,
                    OutputFile& out, uint64_t* end, std::string* error) {
  const bool zip64 = entries >= kSaturated16;
  std::string record = zip64 ? Zip64EndRecords(entries, directoryOffset, directory.size()) : "";
  const uint16_t count = zip64 ? kSaturated16 : static_cast<uint16_t>(entries);
  Put32(record, kEndRecordSignature);
  Put16(record, 0);
  Put16(record, 0);
  Put16(record, count);
  Put16(record, count);
  Put32(record, static_cast<uint32_t>(directory.size()));
  Put32(record, static_cast<uint32_t>(directoryOffset));
  Put16(record, 0);
  *end = directoryOffset + directory.size() + record.size();
  if (*end > kMaxOutputSize) return *error = TooLarge(*end), false;
  return out.write(directory.data(), directory.size(), error) &&
         out.write(record.data(), record.size(), error);
}

}  // namespace

bool WriteArchive(const std::vector<InputItem>& items, const PackOptions& options,
                  uint64_t zipOffset, OutputFile& out, const ProgressCallback& progress,
                  PackSummary* summary, std::string* error) {
  ItemPacker streamedOnly;  // what a streamed item's entry needs of a packer: the options
  if (!streamedOnly.start(options, error)) return false;
  PackAhead ahead(items, options, RunWorkerCount());
  uint64_t position = zipOffset;
  std::string directory;
  for (size_t i = 0; i < items.size(); ++i) {
    const InputItem& item = items[i];
    std::unique_ptr<ItemPacker> packed;
    if (!ahead.take(i, &packed, error)) return false;
    SharedFields written{};
    if (!WriteEntry(item, packed ? *packed : streamedOnly, &position, &directory, out, &written, error)) {
      return false;
    }
    Count(item, written, summary);
    if (progress) progress(item.size);
  }
  uint64_t end = 0;
  if (!WriteDirectory(directory, items.size(), position, out, &end, error)) return false;
  summary->archiveSize = end - zipOffset;
  return true;
}
