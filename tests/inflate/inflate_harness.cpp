#include "inflate_harness.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

#include "extract/crc32.h"

namespace inflate_test {

uint32_t MemoryIo::readInput(uint8_t* buffer, uint32_t wanted) {
  ++reads;
  const size_t left = input_.size() - position_;
  const uint32_t n = static_cast<uint32_t>(std::min<size_t>({wanted, piece_, left}));
  if (n) std::memcpy(buffer, input_.data() + position_, n);
  position_ += n;
  return n;
}

void MemoryIo::writeOutput(const uint8_t* bytes, uint32_t count) {
  output.insert(output.end(), bytes, bytes + count);  // the decoder never hands over 0 bytes
  pieces.push_back(count);
}

namespace {

struct Buffers {
  std::unique_ptr<uint8_t[]> input{new uint8_t[kInputSize]};
  std::unique_ptr<uint8_t[]> window{new uint8_t[kWindowSize]};
  std::unique_ptr<uint8_t[]> work{new uint8_t[kWorkSize]};

  explicit Buffers(const Bytes* oldWindow) {
    std::memset(input.get(), 0xCC, kInputSize);
    std::memset(work.get(), 0xA5, kWorkSize);
    if (oldWindow) {
      std::memcpy(window.get(), oldWindow->data(), kWindowSize);
    } else {
      std::memset(window.get(), 0, kWindowSize);
    }
  }
  InflateBuffers view() { return InflateBuffers{input.get(), kInputSize, window.get(), work.get()}; }
};

class CountingIo : public InflateIo {
 public:
  CountingIo(const Bytes& input, uint64_t stopAfter) : input_(input), stopAfter_(stopAfter) {}
  uint32_t readInput(uint8_t* buffer, uint32_t wanted) override {
    // Past the limit the data "ends", so a stream that would expand without bound still stops.
    if (size >= stopAfter_) return 0;
    const uint32_t n = static_cast<uint32_t>(std::min<size_t>(wanted, input_.size() - position_));
    if (n) std::memcpy(buffer, input_.data() + position_, n);
    position_ += n;
    return n;
  }
  void writeOutput(const uint8_t* bytes, uint32_t count) override {
    size += count;
    crc = Crc32Update(crc, bytes, count);
  }
  uint64_t size = 0;
  uint32_t crc = 0xFFFFFFFFu;

 private:
  const Bytes& input_;
  uint64_t stopAfter_;
  size_t position_ = 0;
};

}  // namespace

Decoded Decode(const Bytes& stream, const DecodeOptions& options) {
  Buffers buffers(options.oldWindow);
  MemoryIo io(stream, options.piece);
  const int result = Inflate(buffers.view(), io, options.deflate64);
  return Decoded{result, std::move(io.output), std::move(io.pieces)};
}

Counted DecodeCounting(const Bytes& stream, int deflate64, uint64_t stopAfter) {
  Buffers buffers(nullptr);
  CountingIo io(stream, stopAfter);
  const int result = Inflate(buffers.view(), io, deflate64);
  return Counted{result, io.size, ~io.crc};
}

uint32_t Crc32(const Bytes& bytes) {
  return ~Crc32Update(0xFFFFFFFFu, bytes.data(), static_cast<uint32_t>(bytes.size()));
}

void BitWriter::bits(uint32_t value, unsigned count) {
  for (unsigned i = 0; i < count; ++i) {
    pending_ |= ((value >> i) & 1u) << pendingCount_;
    if (++pendingCount_ == 8) {
      bytes_.push_back(static_cast<uint8_t>(pending_));
      pending_ = 0;
      pendingCount_ = 0;
    }
  }
}

void BitWriter::code(uint32_t code, unsigned length) {
  for (unsigned i = length; i-- > 0;) bits((code >> i) & 1u, 1);
}

void BitWriter::alignToByte() {
  if (pendingCount_) bits(0, 8 - pendingCount_);
}

const Bytes& BitWriter::bytes() {
  alignToByte();
  return bytes_;
}

std::vector<std::pair<uint32_t, unsigned>> CanonicalCodes(const std::vector<uint8_t>& lengths) {
  std::vector<std::pair<uint32_t, unsigned>> codes(lengths.size(), {0, 0});
  uint32_t code = 0;
  for (unsigned length = 1; length <= 15; ++length) {
    for (size_t symbol = 0; symbol < lengths.size(); ++symbol) {
      if (lengths[symbol] == length) codes[symbol] = {code++, length};
    }
    code <<= 1;
  }
  return codes;
}

void FixedLitLen(BitWriter& writer, unsigned symbol) {
  if (symbol < 144) {
    writer.code(0x30 + symbol, 8);
  } else if (symbol < 256) {
    writer.code(0x190 + symbol - 144, 9);
  } else if (symbol < 280) {
    writer.code(symbol - 256, 7);
  } else {
    writer.code(0xC0 + symbol - 280, 8);
  }
}

void FixedDistance(BitWriter& writer, unsigned symbol) { writer.code(symbol, 5); }

std::vector<uint8_t> StandardCodeLengthCode() {
  std::vector<uint8_t> lengths(19, 5);
  lengths[16] = 2;
  lengths[17] = 3;
  lengths[18] = 3;
  return lengths;
}

void DynamicHeader(BitWriter& writer, bool final, unsigned litLenCount, unsigned distanceCount,
                   const std::vector<uint8_t>& codeLengthCode, const std::vector<LengthStep>& steps) {
  static const unsigned kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  writer.bits(final ? 1 : 0, 1);
  writer.bits(2, 2);
  writer.bits(litLenCount - 257, 5);
  writer.bits(distanceCount - 1, 5);
  writer.bits(19 - 4, 4);
  for (unsigned symbol : kOrder) writer.bits(codeLengthCode[symbol], 3);
  const auto codes = CanonicalCodes(codeLengthCode);
  for (const LengthStep& step : steps) {
    writer.code(codes[step.symbol]);
    if (step.symbol == 16) writer.bits(step.extra, 2);
    if (step.symbol == 17) writer.bits(step.extra, 3);
    if (step.symbol == 18) writer.bits(step.extra, 7);
  }
}

std::vector<LengthStep> PlainSteps(const std::vector<uint8_t>& litLen, const std::vector<uint8_t>& distance) {
  std::vector<LengthStep> steps;
  for (uint8_t length : litLen) steps.push_back({length});
  for (uint8_t length : distance) steps.push_back({length});
  return steps;
}

Bytes ZlibDeflate(const Bytes& data, const ZlibSettings& settings) {
  z_stream stream{};
  if (deflateInit2(&stream, settings.level, Z_DEFLATED, -15, 9, settings.strategy) != Z_OK) {
    throw std::runtime_error("deflateInit2");
  }
  Bytes out(deflateBound(&stream, data.size()) + 64 + data.size() / 100);
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  size_t done = 0;
  const size_t step = settings.syncFlushEvery ? settings.syncFlushEvery : data.size();
  do {
    const size_t n = std::min(step, data.size() - done);
    stream.next_in = const_cast<Bytef*>(data.data() + done);
    stream.avail_in = static_cast<uInt>(n);
    done += n;
    const int flush = done == data.size() ? Z_FINISH : Z_SYNC_FLUSH;
    const int rc = deflate(&stream, flush);
    if (rc != (flush == Z_FINISH ? Z_STREAM_END : Z_OK)) throw std::runtime_error("deflate");
  } while (done < data.size());
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

namespace {

uint16_t Le16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }
uint32_t Le32(const Bytes& b, size_t at) { return Le16(b, at) | static_cast<uint32_t>(Le16(b, at + 2)) << 16; }

}  // namespace

std::vector<LocalEntry> ReadLocalEntries(const Bytes& zip) {
  constexpr uint32_t kLocalSignature = 0x04034B50;
  constexpr size_t kLocalHeaderSize = 30;  // + name + extra
  std::vector<LocalEntry> entries;
  size_t at = 0;
  while (at + kLocalHeaderSize <= zip.size() && Le32(zip, at) == kLocalSignature) {
    LocalEntry entry;
    entry.method = Le16(zip, at + 8);
    entry.crc = Le32(zip, at + 14);
    entry.compressedSize = Le32(zip, at + 18);
    entry.uncompressedSize = Le32(zip, at + 22);
    const size_t nameLength = Le16(zip, at + 26);
    const size_t extraLength = Le16(zip, at + 28);
    const size_t dataStart = at + kLocalHeaderSize + nameLength + extraLength;
    if (dataStart > zip.size()) break;
    entry.name.assign(zip.begin() + at + kLocalHeaderSize, zip.begin() + at + kLocalHeaderSize + nameLength);
    const size_t dataEnd = std::min(zip.size(), dataStart + entry.compressedSize);
    entry.data.assign(zip.begin() + dataStart, zip.begin() + dataEnd);
    entries.push_back(std::move(entry));
    at = dataEnd;
  }
  return entries;
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& path) { return std::ifstream(path, std::ios::binary).good(); }

}  // namespace inflate_test
