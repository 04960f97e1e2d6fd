// The builder's LZMA compressor (Linux): liblzma's raw LZMA1 encoder, without end marker.
#include <lzma.h>

#include "compressor.h"

namespace {

constexpr size_t kEntryHeaderSize = 4 + 5;

// Levels 1 to 9 are liblzma's presets of that number; 10 to 12 add the extreme search and
// longer matches.
lzma_options_lzma OptionsOf(int level, bool* ok) {
  lzma_options_lzma options{};
  const uint32_t preset = level <= 9 ? static_cast<uint32_t>(level) : 9u | LZMA_PRESET_EXTREME;
  *ok = !lzma_lzma_preset(&options, preset);
  if (level == 11) options.nice_len = 192;
  if (level == 12) options.nice_len = 273;  // the longest match
  return options;
}

class LiblzmaPacker : public LzmaPacker {
 public:
  explicit LiblzmaPacker(const lzma_options_lzma& options) : options_(options) {}

  size_t compress(const uint8_t* in, size_t size, uint8_t* out, size_t capacity) override {
    if (capacity <= kEntryHeaderSize) return 0;
    lzma_options_lzma options = options_;
    // A dictionary larger than the data finds nothing more and costs the reader memory.
    if (size < options.dict_size) {
      options.dict_size = size < LZMA_DICT_SIZE_MIN ? LZMA_DICT_SIZE_MIN : static_cast<uint32_t>(size);
    }
    options.ext_flags = 0;  // no end marker
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_stream stream = LZMA_STREAM_INIT;
    if (lzma_raw_encoder(&stream, filters) != LZMA_OK) return 0;
    out[0] = LZMA_VERSION_MAJOR;
    out[1] = LZMA_VERSION_MINOR;
    out[2] = 5;
    out[3] = 0;
    out[4] = static_cast<uint8_t>((options.pb * 5 + options.lp) * 9 + options.lc);
    for (int i = 0; i < 4; ++i) out[5 + i] = static_cast<uint8_t>(options.dict_size >> (8 * i));
    stream.next_in = in;
    stream.avail_in = size;
    stream.next_out = out + kEntryHeaderSize;
    stream.avail_out = capacity - kEntryHeaderSize;
    lzma_ret result = LZMA_OK;
    while (result == LZMA_OK) result = lzma_code(&stream, LZMA_FINISH);
    const size_t written = kEntryHeaderSize + static_cast<size_t>(stream.total_out);
    lzma_end(&stream);
    return result == LZMA_STREAM_END ? written : 0;
  }

 private:
  lzma_options_lzma options_;
};

}  // namespace

std::unique_ptr<LzmaPacker> MakeLzmaPacker(int level) {
  bool ok = false;
  const lzma_options_lzma options = OptionsOf(level, &ok);
  if (!ok) return nullptr;
  return std::unique_ptr<LzmaPacker>(new LiblzmaPacker(options));
}

const char* LzmaCompressorName() { return "liblzma " LZMA_VERSION_STRING; }
