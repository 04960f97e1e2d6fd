#include "zip_writer.h"

#include <zlib.h>

#include <stdexcept>

#include "traditional_encrypter.h"

std::string Le16(uint16_t v) {
  return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}

std::string Le32(uint32_t v) { return Le16(static_cast<uint16_t>(v)) + Le16(static_cast<uint16_t>(v >> 16)); }

std::string Le64(uint64_t v) { return Le32(static_cast<uint32_t>(v)) + Le32(static_cast<uint32_t>(v >> 32)); }

namespace {

// The ZIP64 extra field of a header: the values of the saturated fields, in their order.
std::string Zip64Extra(unsigned fields, uint64_t usize, uint64_t csize, uint64_t offset,
                       size_t cut) {
  std::string data;
  if (fields & kZip64Uncompressed) data += Le64(usize);
  if (fields & kZip64Compressed) data += Le64(csize);
  if (fields & kZip64Offset) data += Le64(offset);
  data.resize(data.size() - cut);
  return Le16(1) + Le16(static_cast<uint16_t>(data.size())) + data;
}

uint32_t Saturate(unsigned fields, unsigned field, uint32_t value) {
  return (fields & field) ? 0xFFFFFFFFu : value;
}

}  // namespace

uint32_t ReferenceCrc32(const std::string& data) {
  return static_cast<uint32_t>(
      crc32(0L, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

std::string DeflateRaw(const std::string& data) {
  z_stream z{};
  if (deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("deflateInit2");
  }
  std::string out(deflateBound(&z, data.size()) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(&out[0]);
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

uint16_t DosDate(int year, int month, int day) {
  return static_cast<uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}

uint16_t DosTime(int hour, int minute, int second) {
  return static_cast<uint16_t>((hour << 11) | (minute << 5) | (second / 2));
}


std::string BuildZip(const std::vector<ZipEntryPlan>& entries, const std::string& prefix,
                     const std::string& archiveComment, ZipLayout* layout) {
  std::string out = prefix;
  std::string directory;
  ZipLayout local;
  for (const ZipEntryPlan& e : entries) {
    uint32_t crc = e.overrideCrc ? e.crc : ReferenceCrc32(e.data);
    std::string body = e.useCompressed ? e.compressed
                       : e.method == 8 ? DeflateRaw(e.data)
                                       : e.data;
    uint16_t flags = e.flags;
    if (e.password) {
      flags |= 1;
      uint8_t check = (flags & 8) ? static_cast<uint8_t>((e.dosDateTime >> 8) & 0xFF)
                                  : static_cast<uint8_t>(ReferenceCrc32(e.data) >> 24);
      body = EncryptEntryData(body, e.password, check);
    }
    uint32_t csize = e.overrideCompressedSize ? e.compressedSize : static_cast<uint32_t>(body.size());
    uint32_t usize = e.overrideUncompressedSize ? e.uncompressedSize : static_cast<uint32_t>(e.data.size());
    uint32_t offset = static_cast<uint32_t>(out.size());
    local.localOffsets.push_back(offset);
    const unsigned z = e.zip64Fields;
    std::string localExtra = e.localExtra, centralExtra = e.centralExtra;
    if (z) {
      localExtra = Zip64Extra(z & ~kZip64Offset, usize, csize, 0, 0) + localExtra;
      centralExtra = Zip64Extra(z, usize, csize, offset, e.zip64Cut) + centralExtra;
    }
    out += Le32(0x04034B50) + Le16(e.versionNeeded) + Le16(flags) + Le16(e.method) +
           Le32(e.dosDateTime) + Le32(e.overrideLocalCrc ? e.localCrc : crc) +
           Le32(Saturate(z, kZip64Compressed, csize)) +
           Le32(Saturate(z, kZip64Uncompressed, usize)) + Le16(static_cast<uint16_t>(e.name.size())) +
           Le16(static_cast<uint16_t>(localExtra.size())) + e.name + localExtra + body;
    directory += Le32(0x02014B50) + Le16(e.versionMadeBy) + Le16(e.versionNeeded) + Le16(flags) +
                 Le16(e.method) + Le32(e.dosDateTime) + Le32(crc) +
                 Le32(Saturate(z, kZip64Compressed, csize)) +
                 Le32(Saturate(z, kZip64Uncompressed, usize)) +
                 Le16(static_cast<uint16_t>(e.name.size())) +
                 Le16(static_cast<uint16_t>(centralExtra.size())) +
                 Le16(static_cast<uint16_t>(e.comment.size())) + Le16(0) +
                 Le16(e.internalAttributes) + Le32(e.externalAttributes) +
                 Le32(Saturate(z, kZip64Offset, offset)) + e.name + centralExtra + e.comment;
  }
  local.directoryOffset = static_cast<uint32_t>(out.size());
  local.directorySize = static_cast<uint32_t>(directory.size());
  out += directory;
  local.endOffset = static_cast<uint32_t>(out.size());
  out += Le32(0x06054B50) + Le16(0) + Le16(0) + Le16(static_cast<uint16_t>(entries.size())) +
         Le16(static_cast<uint16_t>(entries.size())) + Le32(local.directorySize) +
         Le32(local.directoryOffset) + Le16(static_cast<uint16_t>(archiveComment.size())) +
         archiveComment;
  if (layout) *layout = local;
  return out;
}

std::string BuildZip64(const std::vector<ZipEntryPlan>& entries, unsigned saturated,
                       ZipLayout* layout) {
  ZipLayout l;
  std::string out = BuildZip(entries, "", "", &l);
  out.resize(l.endOffset);
  const uint64_t count = entries.size();
  l.zip64EndOffset = static_cast<uint32_t>(out.size());
  out += Le32(0x06064B50) + Le64(44) + Le16(45) + Le16(45) + Le32(0) + Le32(0) + Le64(count) +
         Le64(count) + Le64(l.directorySize) + Le64(l.directoryOffset);
  l.locatorOffset = static_cast<uint32_t>(out.size());
  out += Le32(0x07064B50) + Le32(0) + Le64(l.zip64EndOffset) + Le32(1);
  l.endOffset = static_cast<uint32_t>(out.size());
  const uint16_t count16 = (saturated & kEndCount) ? 0xFFFF : static_cast<uint16_t>(count);
  out += Le32(0x06054B50) + Le16(0) + Le16(0) + Le16(count16) + Le16(count16) +
         Le32((saturated & kEndSize) ? 0xFFFFFFFFu : l.directorySize) +
         Le32((saturated & kEndOffset) ? 0xFFFFFFFFu : l.directoryOffset) + Le16(0);
  if (layout) *layout = l;
  return out;
}

ZipEntryPlan EntryOf(const std::string& name, const std::string& data, uint16_t method) {
  ZipEntryPlan e;
  e.name = name;
  e.data = data;
  e.method = method;
  return e;
}

std::string MixedBytes(size_t size, unsigned seed, size_t period, size_t letters) {
  std::string s;
  uint32_t x = seed;
  for (size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    s += static_cast<char>((i % period < letters) ? 'a' + (i / period) % 26 : (x >> 16) & 0xFF);
  }
  return s;
}
