// Google Benchmark of the decoding primitives on the very same data: our Inflate, CRC-32 and
// decryption beside zlib's and libdeflate's. The Deflate streams are the entries of the archive
// named by VESPA_BENCH_ZIP (`make bench` passes its Deflate archive), up to 64 MB of them.
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "extract/crc32.h"
#include "extract/decrypt.h"
#include "inflate/inflate.h"
#include "zip_walk.h"

namespace {

struct Stream {
  std::vector<uint8_t> compressed;
  uint32_t size;
};

struct Data {
  std::vector<Stream> streams;
  uint64_t decodedBytes = 0;
  std::vector<uint8_t> plain;  // 16 MB of decoded bytes, for the CRC and the cipher
};

const Data& Load() {
  static Data data;
  if (!data.streams.empty()) return data;
  const char* path = std::getenv("VESPA_BENCH_ZIP");
  std::FILE* file = path ? std::fopen(path, "rb") : nullptr;
  if (!file) {
    std::fprintf(stderr, "decode_bench: set VESPA_BENCH_ZIP to a ZIP archive of Deflate entries\n");
    std::exit(2);
  }
  uint64_t total = 0;
  for (const bench::Entry& entry : bench::ReadEntries(file)) {
    if (entry.method != 8 || (entry.flags & 1) || entry.uncompressedSize == 0) continue;
    Stream stream{std::vector<uint8_t>(entry.compressedSize), entry.uncompressedSize};
    if (!bench::ReadAt(file, entry.dataOffset, stream.compressed.data(), entry.compressedSize)) continue;
    total += entry.compressedSize;
    data.decodedBytes += entry.uncompressedSize;
    data.streams.push_back(std::move(stream));
    if (total > (64u << 20)) break;
  }
  std::fclose(file);
  std::vector<uint8_t> out;
  libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
  for (const Stream& stream : data.streams) {
    out.resize(stream.size);
    libdeflate_deflate_decompress(decompressor, stream.compressed.data(), stream.compressed.size(), out.data(),
                                  out.size(), nullptr);
    data.plain.insert(data.plain.end(), out.begin(), out.end());
    if (data.plain.size() >= (16u << 20)) break;
  }
  libdeflate_free_decompressor(decompressor);
  data.plain.resize(16u << 20);
  return data;
}

class DiscardIo : public InflateIo {
 public:
  explicit DiscardIo(const Stream& stream) : stream_(stream) {}
  uint32_t readInput(uint8_t* buffer, uint32_t wanted) override {
    const size_t left = stream_.compressed.size() - position_;
    const uint32_t n = static_cast<uint32_t>(left < wanted ? left : wanted);
    std::memcpy(buffer, stream_.compressed.data() + position_, n);
    position_ += n;
    return n;
  }
  void writeOutput(const uint8_t* bytes, uint32_t count) override { benchmark::DoNotOptimize(bytes); }

 private:
  const Stream& stream_;
  size_t position_ = 0;
};

void BM_Inflate_Vespa(benchmark::State& state) {
  const Data& data = Load();
  std::unique_ptr<uint8_t[]> input(new uint8_t[61440]), window(new uint8_t[kInflateWindowSize]),
      work(new uint8_t[kInflateWorkSize]);
  const InflateBuffers buffers{input.get(), 61440, window.get(), work.get()};
  for (auto _ : state) {
    for (const Stream& stream : data.streams) {
      DiscardIo io(stream);
      if (Inflate(buffers, io, 0) != 0) state.SkipWithError("decoder error");
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.decodedBytes));
}

void BM_Inflate_Zlib(benchmark::State& state) {
  const Data& data = Load();
  std::vector<uint8_t> out;
  for (auto _ : state) {
    for (const Stream& stream : data.streams) {
      out.resize(stream.size);
      z_stream z{};
      inflateInit2(&z, -15);
      z.next_in = const_cast<Bytef*>(stream.compressed.data());
      z.avail_in = static_cast<uInt>(stream.compressed.size());
      z.next_out = out.data();
      z.avail_out = static_cast<uInt>(out.size());
      if (inflate(&z, Z_FINISH) != Z_STREAM_END) state.SkipWithError("zlib error");
      inflateEnd(&z);
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.decodedBytes));
}

void BM_Inflate_Libdeflate(benchmark::State& state) {
  const Data& data = Load();
  libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
  std::vector<uint8_t> out;
  for (auto _ : state) {
    for (const Stream& stream : data.streams) {
      out.resize(stream.size);
      if (libdeflate_deflate_decompress(decompressor, stream.compressed.data(), stream.compressed.size(), out.data(),
                                        out.size(), nullptr) != LIBDEFLATE_SUCCESS) {
        state.SkipWithError("libdeflate error");
      }
    }
  }
  libdeflate_free_decompressor(decompressor);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.decodedBytes));
}

// The CRC over pieces of a window's size, as the decoder hands them over.
template <typename Crc>
void CrcBench(benchmark::State& state, Crc crc) {
  const Data& data = Load();
  for (auto _ : state) {
    uint32_t value = 0;
    for (size_t at = 0; at < data.plain.size(); at += kInflateWindowSize) {
      value = crc(value, data.plain.data() + at, kInflateWindowSize);
    }
    benchmark::DoNotOptimize(value);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.plain.size()));
}

void BM_Crc32_Vespa(benchmark::State& state) {
  CrcBench(state, [](uint32_t c, const uint8_t* b, uint32_t n) { return Crc32Update(c, b, n); });
}
void BM_Crc32_Zlib(benchmark::State& state) {
  CrcBench(state, [](uint32_t c, const uint8_t* b, uint32_t n) { return static_cast<uint32_t>(crc32(c, b, n)); });
}
void BM_Crc32_Libdeflate(benchmark::State& state) {
  CrcBench(state, [](uint32_t c, const uint8_t* b, uint32_t n) { return libdeflate_crc32(c, b, n); });
}

void BM_Decrypt_Vespa(benchmark::State& state) {
  const Data& data = Load();
  std::vector<uint8_t> buffer(data.plain);
  for (auto _ : state) {
    CipherKeys keys;
    keys.init("senha");
    for (size_t at = 0; at < buffer.size(); at += 61440) {
      keys.decrypt(buffer.data() + at, static_cast<uint32_t>(std::min<size_t>(61440, buffer.size() - at)));
    }
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * buffer.size()));
}

}  // namespace

BENCHMARK(BM_Inflate_Vespa)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Inflate_Libdeflate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Inflate_Zlib)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Crc32_Vespa)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Crc32_Libdeflate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Crc32_Zlib)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decrypt_Vespa)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
