// The LZMA decoder beside liblzma's on the very same streams: the LZMA entries (method 14) of the
// archive given, up to 64 MB of them, decoded whole by each, one thread, best of a few rounds of
// CPU time. Both outputs are checked against the entries' CRC-32 first. Prints the times and
// our time over liblzma's.
//   vespa-lzma-bench ARCHIVE.zip [ROUNDS]
#include <libdeflate.h>
#include <lzma.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "lzma/lzma.h"
#include "zip_walk.h"

namespace {

struct Stream {
  std::vector<uint8_t> compressed;  // header, properties and stream, as the entry holds them
  uint32_t size;
  uint32_t crc;
  bool endMarker;
};

double CpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

class MemoryIo : public InflateIo {
 public:
  MemoryIo(const Stream& stream, uint8_t* out) : stream_(stream), out_(out) {}
  uint32_t readInput(uint8_t* buffer, uint32_t wanted) override {
    const size_t left = stream_.compressed.size() - position_;
    const uint32_t n = static_cast<uint32_t>(std::min<size_t>(left, wanted));
    std::memcpy(buffer, stream_.compressed.data() + position_, n);
    position_ += n;
    return n;
  }
  // As the engine does: the bytes leave the decoder's ring for a file or a CRC.
  void writeOutput(const uint8_t* bytes, uint32_t count) override {
    std::memcpy(out_ + written, bytes, count);
    written += count;
  }
  size_t written = 0;

 private:
  const Stream& stream_;
  uint8_t* out_;
  size_t position_ = 0;
};

bool Ours(const Stream& stream, uint8_t* input, uint8_t* out) {
  MemoryIo io(stream, out);
  return DecodeLzma(input, 61440, io, stream.size, stream.endMarker) == 0 && io.written == stream.size;
}

bool Theirs(const Stream& stream, uint8_t* out) {
  const uint8_t* p = stream.compressed.data();
  lzma_options_lzma options{};
  options.lc = p[4] % 9;
  options.lp = p[4] / 9 % 5;
  options.pb = p[4] / 45;
  options.dict_size = std::max<uint32_t>(p[5] | p[6] << 8 | p[7] << 16 | static_cast<uint32_t>(p[8]) << 24,
                                         LZMA_DICT_SIZE_MIN);
  options.ext_flags = stream.endMarker ? LZMA_LZMA1EXT_ALLOW_EOPM : 0;
  options.ext_size_low = stream.size;
  options.ext_size_high = 0;
  lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  lzma_stream s = LZMA_STREAM_INIT;
  if (lzma_raw_decoder(&s, filters) != LZMA_OK) return false;
  s.next_in = p + kLzmaHeaderSize;
  s.avail_in = stream.compressed.size() - kLzmaHeaderSize;
  s.next_out = out;
  s.avail_out = stream.size;
  lzma_ret r = LZMA_OK;
  while (r == LZMA_OK) r = lzma_code(&s, LZMA_FINISH);
  const bool whole = s.total_out == stream.size && (r == LZMA_STREAM_END || r == LZMA_OK);
  lzma_end(&s);
  return whole;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: vespa-lzma-bench ARCHIVE.zip [ROUNDS]\n");
    return 2;
  }
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  std::FILE* file = std::fopen(argv[1], "rb");
  if (!file) return 2;
  std::vector<Stream> streams;
  uint64_t compressed = 0, decoded = 0;
  uint32_t largest = 0;
  for (const bench::Entry& entry : bench::ReadEntries(file)) {
    if (entry.method != 14 || (entry.flags & 1) || entry.compressedSize < kLzmaHeaderSize) continue;
    Stream stream{std::vector<uint8_t>(entry.compressedSize), entry.uncompressedSize, entry.crc,
                  (entry.flags & 2) != 0};
    if (!bench::ReadAt(file, entry.dataOffset, stream.compressed.data(), entry.compressedSize)) continue;
    compressed += entry.compressedSize;
    decoded += entry.uncompressedSize;
    largest = std::max(largest, entry.uncompressedSize);
    streams.push_back(std::move(stream));
    if (compressed > (64u << 20)) break;
  }
  std::fclose(file);
  if (streams.empty()) {
    std::fprintf(stderr, "vespa-lzma-bench: no LZMA entries in %s\n", argv[1]);
    return 2;
  }
  std::unique_ptr<uint8_t[]> input(new uint8_t[61440]), out(new uint8_t[largest + 1]);
  for (const Stream& stream : streams) {
    if (!Ours(stream, input.get(), out.get()) || libdeflate_crc32(0, out.get(), stream.size) != stream.crc ||
        !Theirs(stream, out.get()) || libdeflate_crc32(0, out.get(), stream.size) != stream.crc) {
      std::fprintf(stderr, "vespa-lzma-bench: an entry does not decode to its CRC\n");
      return 1;
    }
  }
  double best[2] = {1e30, 1e30};
  for (int round = 0; round < rounds; ++round) {
    for (int which = 0; which < 2; ++which) {
      const double start = CpuSeconds();
      for (const Stream& stream : streams) {
        if (which == 0) {
          Ours(stream, input.get(), out.get());
        } else {
          Theirs(stream, out.get());
        }
      }
      best[which] = std::min(best[which], CpuSeconds() - start);
    }
  }
  std::printf("%zu LZMA streams, %.1f MB -> %.1f MB\n", streams.size(), compressed / 1e6, decoded / 1e6);
  std::printf("vespa   %.3f s  %.1f MB/s\n", best[0], decoded / 1e6 / best[0]);
  std::printf("liblzma %.3f s  %.1f MB/s\n", best[1], decoded / 1e6 / best[1]);
  std::printf("ratio (vespa / liblzma): %.3f\n", best[0] / best[1]);
  return 0;
}
