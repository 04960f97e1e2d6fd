// The decoder against zlib, stream by stream: every stream zlib's deflate writes (levels,
// strategies, window and memory sizes, flush kinds, over varied data) decodes to the same bytes;
// a stream zlib's inflate refuses gives one of the decoder's three errors, never a silent success,
// save where the format leaves this decoder a rule of its own (below); a stream zlib accepts
// decodes as zlib decodes it; a cut stream never passes for whole.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <map>
#include <random>
#include <set>
#include <stdexcept>
#include <string>

#include "inflate_harness.h"

namespace inflate_test {
namespace {

Bytes Source(int kind, size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  Bytes out(size);
  switch (kind) {
    case 0:  // uniform bytes: stored blocks and literals
      for (auto& b : out) b = static_cast<uint8_t>(generator());
      break;
    case 1:  // words of a small vocabulary: long and short matches
      for (size_t i = 0; i < size;) {
        static const char* const kWords[] = {"arquivo ", "extrair ", "janela ", "bloco\n", "a ", "distancia "};
        for (const char* c = kWords[generator() % 6]; *c && i < size; ++c) out[i++] = static_cast<uint8_t>(*c);
      }
      break;
    case 2:  // long runs: matches of 258 at distance 1
      for (size_t i = 0; i < size; ++i) out[i] = static_cast<uint8_t>((i / 3000) * 37);
      break;
    default:  // a 1000-byte pattern with rare changes: far matches across the window
      for (size_t i = 0; i < size; ++i) {
        out[i] = static_cast<uint8_t>((i % 1000) * 7);
        if (generator() % 997 == 0) out[i] ^= 0x5A;
      }
  }
  return out;
}

struct Settings {
  int level, strategy, windowBits, memLevel, flush;
  size_t flushEvery;
};

Bytes Deflate(const Bytes& data, const Settings& s) {
  z_stream z{};
  if (deflateInit2(&z, s.level, Z_DEFLATED, -s.windowBits, s.memLevel, s.strategy) != Z_OK) {
    throw std::runtime_error("deflateInit2");
  }
  Bytes out;
  uint8_t chunk[16384];
  size_t done = 0;
  int rc = Z_OK;
  do {
    const size_t n = std::min(s.flushEvery, data.size() - done);
    z.next_in = const_cast<Bytef*>(data.data() + done);
    z.avail_in = static_cast<uInt>(n);
    done += n;
    const int flush = done == data.size() ? Z_FINISH : s.flush;
    do {
      z.next_out = chunk;
      z.avail_out = sizeof chunk;
      rc = deflate(&z, flush);
      out.insert(out.end(), chunk, chunk + (sizeof chunk - z.avail_out));
    } while (z.avail_out == 0 || (flush == Z_FINISH && rc != Z_STREAM_END));
  } while (done < data.size());
  deflateEnd(&z);
  return out;
}

// zlib's verdict on a raw stream with a 32 KB window: its output, and its error message when it
// refused the stream (empty when it ended well, "truncated" when the data ran out first).
struct Verdict {
  Bytes output;
  std::string refusal;
};

Verdict ZlibInflate(const Bytes& stream) {
  z_stream z{};
  inflateInit2(&z, -15);
  Verdict v;
  z.next_in = const_cast<Bytef*>(stream.data());
  z.avail_in = static_cast<uInt>(stream.size());
  uint8_t chunk[16384];
  int rc;
  do {
    z.next_out = chunk;
    z.avail_out = sizeof chunk;
    rc = inflate(&z, Z_NO_FLUSH);
    v.output.insert(v.output.end(), chunk, chunk + (sizeof chunk - z.avail_out));
  } while (rc == Z_OK && v.output.size() < (64u << 20));
  if (rc == Z_DATA_ERROR) v.refusal = z.msg ? z.msg : "data error";
  if (rc == Z_BUF_ERROR || (rc == Z_OK)) v.refusal = "truncated";
  inflateEnd(&z);
  return v;
}

TEST(ZlibDifferential, EveryDeflateSettingDecodesToItsSource) {
  const int levels[] = {0, 1, 4, 6, 9};
  const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
  const int windows[] = {9, 12, 15};
  const int memLevels[] = {1, 9};
  const struct {
    int flush;
    size_t every;
  } flushes[] = {{Z_NO_FLUSH, SIZE_MAX}, {Z_SYNC_FLUSH, 7001}, {Z_FULL_FLUSH, 20000},
                 {Z_PARTIAL_FLUSH, 4096}, {Z_BLOCK, 9999}};
  const size_t sizes[] = {0, 1, 300, 70000};
  int streams = 0;
  unsigned seed = 1;
  for (int kind = 0; kind < 4; ++kind) {
    for (size_t size : sizes) {
      const Bytes data = Source(kind, size, seed++);
      for (int level : levels) {
        for (int strategy : strategies) {
          for (int window : windows) {
            for (const auto& flush : flushes) {
              // The memory level varies with the seed: both meet every other setting.
              const int memLevel = memLevels[++seed % 2];
              const Settings s{level, strategy, window, memLevel, flush.flush,
                               flush.every == SIZE_MAX ? data.size() + 1 : flush.every};
              const Bytes stream = Deflate(data, s);
              const Decoded d = Decode(stream);
              ++streams;
              ASSERT_EQ(d.result, kInflateOk) << "kind " << kind << " size " << size << " level "
                                              << level << " strategy " << strategy << " window "
                                              << window << " flush " << flush.flush;
              ASSERT_TRUE(d.output == data) << "kind " << kind << " size " << size << " level "
                                            << level << " strategy " << strategy << " window "
                                            << window << " flush " << flush.flush;
            }
          }
        }
      }
    }
  }
  std::printf("%d zlib streams decoded byte for byte\n", streams);
}

// zlib refuses these by rules of its own that this decoder does not share: distance codes 30
// and 31, which it reads as Deflate64's farthest distances, more than 286 length or 30 distance
// codes in a header (Deflate64 uses 32), and incomplete codes of a single symbol, which it
// accepts and reads as far as they reach. Every other refusal must be one of the three errors.
const std::set<std::string> kRulesOfItsOwn = {
    "invalid distance code", "too many length or distance symbols", "invalid code lengths set",
    "invalid literal/lengths set", "invalid distances set"};

TEST(ZlibDifferential, DamagedStreamsAreRefusedAsZlibRefusesThem) {
  std::mt19937 generator(20261210);
  std::map<std::string, int> refusals;
  int accepted = 0, refusedBoth = 0, truncated = 0, ownRules = 0;
  for (int round = 0; round < 3000; ++round) {
    const Bytes data = Source(round % 4, 200 + generator() % 9000, round);
    const Settings s{static_cast<int>(generator() % 10), round % 3 == 0 ? Z_FIXED : Z_DEFAULT_STRATEGY,
                     15, 8, Z_SYNC_FLUSH, 3000};
    Bytes stream = Deflate(data, s);
    // One to three changed bytes, or the stream cut short.
    const bool cut = round % 5 == 4;
    if (cut) {
      stream.resize(generator() % stream.size());
    } else {
      for (unsigned n = 1 + generator() % 3; n > 0; --n) {
        stream[generator() % stream.size()] ^= static_cast<uint8_t>(1 + generator() % 255);
      }
    }
    const Verdict zlib = ZlibInflate(stream);
    const Decoded ours = Decode(stream);
    SCOPED_TRACE("round " + std::to_string(round) + ", zlib: " + zlib.refusal);
    if (zlib.refusal.empty()) {
      ++accepted;
      ASSERT_EQ(ours.result, kInflateOk);
      ASSERT_TRUE(ours.output == zlib.output);
    } else if (zlib.refusal == "truncated") {
      ++truncated;
      // The data ends before the last block: an error, or, when it ends inside a stored
      // block, what zlib too had decoded by then; a cut stream never passes for whole.
      if (ours.result == kInflateOk) {
        ASSERT_TRUE(ours.output == zlib.output);
        if (cut) {
          ASSERT_LT(ours.output.size(), data.size());
        }
      }
    } else if (ours.result != kInflateOk) {
      ++refusedBoth;
      ++refusals[zlib.refusal];
    } else {
      ++ownRules;
      ASSERT_TRUE(kRulesOfItsOwn.count(zlib.refusal)) << "silent success where zlib says " << zlib.refusal;
    }
  }
  std::printf("zlib accepted %d (same bytes), refused %d (refused here too), truncated %d, "
              "refused by rules of its own %d\n", accepted, refusedBoth, truncated, ownRules);
  for (const auto& [message, count] : refusals) std::printf("  %5d %s\n", count, message.c_str());
  EXPECT_GT(refusedBoth, 1000);
}

}  // namespace
}  // namespace inflate_test
