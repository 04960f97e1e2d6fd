// Deflate of a file too large to hold in memory, piece by piece through zlib's streaming
// interface (the whole-buffer compressor of the Linux build has none). Both builds link zlib.
#include <zlib.h>

#include <vector>

#include "compressor.h"

namespace {

class ZlibStreamDeflater : public StreamDeflater {
 public:
  ZlibStreamDeflater() : out_(1 << 20) {}
  ~ZlibStreamDeflater() override {
    if (ready_) deflateEnd(&z_);
  }
  bool init(int level) {
    // Raw Deflate (negative window bits), the largest window, zlib's best level at most.
    ready_ = deflateInit2(&z_, level > 9 ? 9 : level, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) == Z_OK;
    return ready_;
  }

  bool deflate(const uint8_t* in, size_t size, bool last, const Sink& sink) override {
    z_.next_in = const_cast<Bytef*>(in);
    z_.avail_in = static_cast<uInt>(size);
    int result = Z_OK;
    do {
      z_.next_out = out_.data();
      z_.avail_out = static_cast<uInt>(out_.size());
      result = ::deflate(&z_, last ? Z_FINISH : Z_NO_FLUSH);
      if (result == Z_STREAM_ERROR) return false;
      const size_t made = out_.size() - z_.avail_out;
      if (made > 0 && !sink(out_.data(), made)) return false;
    } while (z_.avail_out == 0 || (last && result != Z_STREAM_END));
    return true;
  }

 private:
  z_stream z_{};
  bool ready_ = false;
  std::vector<uint8_t> out_;
};

}  // namespace

std::unique_ptr<StreamDeflater> MakeStreamDeflater(int level) {
  std::unique_ptr<ZlibStreamDeflater> deflater(new ZlibStreamDeflater);
  if (!deflater->init(level)) return nullptr;
  return deflater;
}
