// The Windows builder's compressor: zlib, linked statically, so that vespa-mksfx.exe is one
// file. Its levels stop at 9; the levels above compress as 9 does.
#include <zlib.h>

#include "compressor.h"

namespace {

// zlib counts in 32-bit units: feed it in pieces no larger than this.
constexpr size_t kPiece = 1u << 30;

class ZlibDeflater : public Deflater {
 public:
  explicit ZlibDeflater(int level) : level_(level > 9 ? 9 : level) {}

  size_t deflate(const uint8_t* in, size_t size, uint8_t* out, size_t capacity) override {
    z_stream stream{};
    // Negative window bits: raw Deflate, without zlib's own header and check value.
    if (deflateInit2(&stream, level_, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK) return 0;
    size_t inDone = 0, outDone = 0;
    int result = Z_OK;
    while (result == Z_OK) {
      size_t inPiece = size - inDone < kPiece ? size - inDone : kPiece;
      size_t outPiece = capacity - outDone < kPiece ? capacity - outDone : kPiece;
      if (outPiece == 0) break;
      stream.next_in = const_cast<Bytef*>(in + inDone);
      stream.avail_in = static_cast<uInt>(inPiece);
      stream.next_out = out + outDone;
      stream.avail_out = static_cast<uInt>(outPiece);
      bool last = inDone + inPiece == size;
      result = ::deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
      inDone += inPiece - stream.avail_in;
      outDone += outPiece - stream.avail_out;
      if (result == Z_BUF_ERROR && stream.avail_out != 0) result = Z_OK;
    }
    deflateEnd(&stream);
    return result == Z_STREAM_END ? outDone : 0;
  }

 private:
  int level_;
};

}  // namespace

std::unique_ptr<Deflater> MakeDeflater(int level) {
  return std::unique_ptr<Deflater>(new ZlibDeflater(level));
}

const char* CompressorName() { return "zlib " ZLIB_VERSION; }

uint32_t Crc32Of(uint32_t crc, const uint8_t* data, size_t size) {
  while (size > 0) {
    uInt piece = size < kPiece ? static_cast<uInt>(size) : static_cast<uInt>(kPiece);
    crc = static_cast<uint32_t>(crc32(crc, data, piece));
    data += piece;
    size -= piece;
  }
  return crc;
}
