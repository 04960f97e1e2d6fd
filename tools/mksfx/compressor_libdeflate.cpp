// The Linux builder's compressor: libdeflate, whose levels go up to 12 and whose output is the
// smallest of the Deflate libraries.
#include <libdeflate.h>

#include "compressor.h"

namespace {

class LibdeflateDeflater : public Deflater {
 public:
  explicit LibdeflateDeflater(libdeflate_compressor* compressor) : compressor_(compressor) {}
  ~LibdeflateDeflater() override { libdeflate_free_compressor(compressor_); }

  size_t deflate(const uint8_t* in, size_t size, uint8_t* out, size_t capacity) override {
    return libdeflate_deflate_compress(compressor_, in, size, out, capacity);
  }

 private:
  libdeflate_compressor* compressor_;
};

}  // namespace

std::unique_ptr<Deflater> MakeDeflater(int level) {
  libdeflate_compressor* compressor = libdeflate_alloc_compressor(level);
  if (!compressor) return nullptr;
  return std::unique_ptr<Deflater>(new LibdeflateDeflater(compressor));
}

const char* CompressorName() { return "libdeflate " LIBDEFLATE_VERSION_STRING; }

uint32_t Crc32Of(uint32_t crc, const uint8_t* data, size_t size) {
  return libdeflate_crc32(crc, data, size);
}
