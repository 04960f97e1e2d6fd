// Deflate compression of whole buffers, and the ZIP CRC-32, from the library this build of the
// builder links: libdeflate on Linux, zlib in the Windows build. Only the builder links one;
// the stub and the console decode with the engine's own inflater.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

constexpr int kMinLevel = 1;
constexpr int kMaxLevel = 12;

class Deflater {
 public:
  virtual ~Deflater() = default;
  // Raw Deflate data of in[0, size) into out; returns its length, or 0 when it does not fit in
  // capacity bytes (the caller then stores the data as it is).
  virtual size_t deflate(const uint8_t* in, size_t size, uint8_t* out, size_t capacity) = 0;
};

// level 1 (fastest) to 12 (smallest); a library with fewer levels uses its highest for the
// levels above it. Null when memory runs out.
std::unique_ptr<Deflater> MakeDeflater(int level);

// Deflate of data that comes in pieces (a file too large to hold): each piece's output goes to
// the sink as it is made; the last piece ends the stream. False when the sink refused or the
// library failed.
class StreamDeflater {
 public:
  using Sink = std::function<bool(const uint8_t* bytes, size_t size)>;
  virtual ~StreamDeflater() = default;
  virtual bool deflate(const uint8_t* in, size_t size, bool last, const Sink& sink) = 0;
};
// zlib in every build; its levels stop at 9.
std::unique_ptr<StreamDeflater> MakeStreamDeflater(int level);

// LZMA (method 14) of whole buffers, as an entry's data: the 4-byte header, the 5 properties
// bytes and the stream without an end marker (the entry's size tells its end). The dictionary is
// the level's, cut to the data's size.
class LzmaPacker {
 public:
  virtual ~LzmaPacker() = default;
  // Returns the length written to out, or 0 when it does not fit in capacity bytes.
  virtual size_t compress(const uint8_t* in, size_t size, uint8_t* out, size_t capacity) = 0;
};
// Null when memory runs out, or when this build has no LZMA compressor.
std::unique_ptr<LzmaPacker> MakeLzmaPacker(int level);
// The LZMA library and its version; null in a build without one (the Windows build).
const char* LzmaCompressorName();

// The library and its version, for the summary and --version.
const char* CompressorName();

// The ZIP CRC-32 of data, continuing from crc (0 to start).
uint32_t Crc32Of(uint32_t crc, const uint8_t* data, size_t size);
