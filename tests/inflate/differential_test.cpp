// The decoder against two references: zlib's decoder on many generated streams (levels,
// strategies, window sizes, flushes), and the byte-at-a-time decoder it replaced on damaged and
// cut streams, where the two must agree on the result code, the bytes handed over, where the
// window was flushed and how often input was asked for.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <stdexcept>

#include "inflate_harness.h"
#include "reference/reference_inflate.h"

namespace inflate_test {
namespace {

using DecoderFunction = int (*)(const InflateBuffers&, InflateIo&, int);

struct Outcome {
  int result;
  Bytes output;
  std::vector<uint32_t> pieces;
  uint32_t reads;
};

Outcome Run(DecoderFunction decoder, const Bytes& stream, int deflate64, uint32_t piece, const Bytes& oldWindow) {
  std::unique_ptr<uint8_t[]> input(new uint8_t[kInputSize]);
  std::unique_ptr<uint8_t[]> window(new uint8_t[kWindowSize]);
  std::unique_ptr<uint8_t[]> work(new uint8_t[kWorkSize]);
  std::memcpy(window.get(), oldWindow.data(), kWindowSize);
  MemoryIo io(stream, piece);
  const int result = decoder(InflateBuffers{input.get(), kInputSize, window.get(), work.get()}, io, deflate64);
  return Outcome{result, std::move(io.output), std::move(io.pieces), io.reads};
}

void ExpectSameAsReference(const Bytes& stream, int deflate64, uint32_t piece, const Bytes& oldWindow) {
  const Outcome ours = Run(Inflate, stream, deflate64, piece, oldWindow);
  const Outcome reference = Run(ReferenceInflate, stream, deflate64, piece, oldWindow);
  ASSERT_EQ(ours.result, reference.result);
  ASSERT_EQ(ours.pieces, reference.pieces);
  ASSERT_TRUE(ours.output == reference.output);
  ASSERT_EQ(ours.reads, reference.reads);
}

// Sources with the shapes real data has: text, runs, binary tables, noise, and mixtures.
Bytes Source(unsigned kind, size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  Bytes out(size);
  switch (kind % 5) {
    case 0: {  // words
      static const char* const kWords[] = {"janela ", "bloco ", "arquivo ", "distância ", "the ", "of\n", "{ ", "} "};
      size_t at = 0;
      while (at < size) {
        const char* word = kWords[generator() % 8];
        for (; *word && at < size; ++word) out[at++] = static_cast<uint8_t>(*word);
      }
      break;
    }
    case 1:  // runs of one byte, of every length
      for (size_t at = 0; at < size;) {
        const uint8_t value = static_cast<uint8_t>(generator() % 4);
        for (size_t n = generator() % 600; n > 0 && at < size; --n) out[at++] = value;
      }
      break;
    case 2:  // little-endian integers growing slowly: a binary table
      for (size_t at = 0; at + 4 <= size; at += 4) {
        const uint32_t value = static_cast<uint32_t>(at * 3 + generator() % 16);
        std::memcpy(&out[at], &value, 4);
      }
      break;
    case 3:  // noise
      for (auto& b : out) b = static_cast<uint8_t>(generator());
      break;
    default:  // short repeats at small distances, and noise
      for (size_t at = 0; at < size; ++at) {
        out[at] = at >= 7 && generator() % 8 ? out[at - 1 - generator() % 7] : static_cast<uint8_t>(generator());
      }
      break;
  }
  return out;
}

struct Encoding {
  int level;
  int strategy;
  int windowBits;
  int memLevel;
  int flush;           // Z_NO_FLUSH, or the flush made every flushEvery bytes
  size_t flushEvery;
};

Bytes Deflate(const Bytes& data, const Encoding& encoding) {
  z_stream stream{};
  if (deflateInit2(&stream, encoding.level, Z_DEFLATED, -encoding.windowBits, encoding.memLevel, encoding.strategy) !=
      Z_OK) {
    throw std::runtime_error("deflateInit2");
  }
  Bytes out;
  Bytes chunk(1 << 16);
  size_t done = 0;
  int flush;
  do {
    const size_t n = encoding.flush == Z_NO_FLUSH ? data.size() : std::min(encoding.flushEvery, data.size() - done);
    stream.next_in = const_cast<Bytef*>(data.data() + done);
    stream.avail_in = static_cast<uInt>(n);
    done += n;
    flush = done == data.size() ? Z_FINISH : encoding.flush;
    do {
      stream.next_out = chunk.data();
      stream.avail_out = static_cast<uInt>(chunk.size());
      if (deflate(&stream, flush) == Z_STREAM_ERROR) throw std::runtime_error("deflate");
      out.insert(out.end(), chunk.data(), chunk.data() + (chunk.size() - stream.avail_out));
    } while (stream.avail_out == 0);
  } while (flush != Z_FINISH);
  deflateEnd(&stream);
  return out;
}

// zlib's own reading of a raw stream; false when it finds the stream bad or cut.
bool ZlibInflate(const Bytes& stream, Bytes& out) {
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return false;
  out.clear();
  Bytes chunk(1 << 16);
  z.next_in = const_cast<Bytef*>(stream.data());
  z.avail_in = static_cast<uInt>(stream.size());
  int rc;
  do {
    z.next_out = chunk.data();
    z.avail_out = static_cast<uInt>(chunk.size());
    rc = inflate(&z, Z_NO_FLUSH);
    out.insert(out.end(), chunk.data(), chunk.data() + (chunk.size() - z.avail_out));
  } while (rc == Z_OK && (z.avail_out == 0 || z.avail_in > 0));
  inflateEnd(&z);
  return rc == Z_STREAM_END;
}

std::vector<Encoding> Encodings() {
  std::vector<Encoding> all;
  const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
  const int flushes[] = {Z_NO_FLUSH, Z_SYNC_FLUSH, Z_FULL_FLUSH, Z_PARTIAL_FLUSH, Z_BLOCK};
  for (int level : {0, 1, 4, 6, 9}) {
    for (int strategy : strategies) {
      for (int windowBits : {9, 12, 15}) {
        for (int flush : flushes) {
          all.push_back({level, strategy, windowBits, (level + windowBits) % 9 + 1, flush,
                         static_cast<size_t>(997 + 1009 * windowBits)});
        }
      }
    }
  }
  return all;
}

const Bytes& ZeroWindow() {
  static const Bytes zeros(kWindowSize, 0);
  return zeros;
}

TEST(InflateDifferential, EveryZlibEncodingDecodesAsZlibDecodesIt) {
  unsigned index = 0;
  for (const Encoding& encoding : Encodings()) {
    ++index;
    const Bytes data = Source(index, 20000 + (index * 7919) % 90000, index);
    const Bytes stream = Deflate(data, encoding);
    SCOPED_TRACE(::testing::Message() << "level " << encoding.level << " strategy " << encoding.strategy << " window "
                                      << encoding.windowBits << " flush " << encoding.flush << " source "
                                      << index % 5);
    Bytes expected;
    ASSERT_TRUE(ZlibInflate(stream, expected));
    ASSERT_TRUE(expected == data);
    const Decoded decoded = Decode(stream, DecodeOptions{0, index % 3 ? kInputSize : 1 + index % 300});
    ASSERT_EQ(decoded.result, kInflateOk);
    ASSERT_TRUE(decoded.output == expected);
  }
}

// The fast loop copies matches in words past their end, over the window's oldest bytes just ahead
// of the write position. A match of nearly the whole window's distance and Deflate64's flush
// marker must find them as they were. The first block writes literals, mostly a whole window of
// them, so that the window is handed over while it goes on, then short matches; then a far match
// in the same block, or a fixed block whose matches read the bytes ahead (also with the input
// ending there, so that the exact path reads them). Before the first hand-over a flush marker
// brings the bytes ahead within reach too, up to where writing got: past it lie bytes the entry
// never wrote, and a match that reads them is refused.
struct DynamicCode {
  std::vector<std::pair<uint32_t, unsigned>> litLen, distance;
};

// Every literal and length symbol, and distance symbols 0 to 29 or all 32.
DynamicCode DynamicBlockHeader(BitWriter& w, unsigned distanceCount) {
  std::vector<uint8_t> litLen(286), distance(distanceCount);
  for (unsigned s = 0; s < 286; ++s) litLen[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : s < 284 ? 8 : 7;
  for (unsigned s = 0; s < distanceCount; ++s) distance[s] = distanceCount == 32 || s >= 2 ? 5 : 4;
  DynamicHeader(w, false, 286, distanceCount, StandardCodeLengthCode(), PlainSteps(litLen, distance));
  return {CanonicalCodes(litLen), CanonicalCodes(distance)};
}

// The distance symbol of a distance above 4, and the value of its extra bits.
std::pair<unsigned, uint32_t> DistanceSymbol(uint32_t distance) {
  unsigned symbol = 31;
  while ((((symbol % 2) + 2u) << (symbol / 2 - 1)) + 1 > distance) --symbol;
  return {symbol, distance - ((((symbol % 2) + 2u) << (symbol / 2 - 1)) + 1)};
}

// Length 258 (symbol 284 with its 5 extra bits all set: the same in both modes) at a distance
// above 4, in the fixed code or a dynamic one.
void MatchOf258(BitWriter& w, uint32_t distance, const DynamicCode* code) {
  const auto [symbol, extra] = DistanceSymbol(distance);
  if (code) {
    w.code(code->litLen[284]);
    w.bits(31, 5);
    w.code(code->distance[symbol]);
  } else {
    FixedLitLen(w, 284);
    w.bits(31, 5);
    FixedDistance(w, symbol);
  }
  w.bits(extra, symbol / 2 - 1);
}

TEST(InflateDifferential, BytesAheadOfTheWriteSurviveCopiesPastAMatchEnd) {
  enum After { kFixedBlock, kMarker, kFarMatchInTheBlock, kFixedBlockAtTheEnd };
  const char* const kAfter[] = {"a fixed block", "a flush marker", "a far match in the block",
                                "a fixed block at the input's end"};
  const struct {
    uint32_t literals;
    After after;
    int result;
  } cases[] = {{kWindowSize + 1000, kFixedBlock, kInflateOk},
               {kWindowSize + 1000, kMarker, kInflateOk},
               {40000, kMarker, kInflateBadTable},
               {kWindowSize + 1000, kFarMatchInTheBlock, kInflateOk},
               {kWindowSize + 1000, kFixedBlockAtTheEnd, kInflateOk}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.literals << " literals, then " << kAfter[c.after]);
    std::mt19937 generator(31);
    BitWriter w;
    const DynamicCode code = DynamicBlockHeader(w, c.after == kFarMatchInTheBlock ? 32 : 30);
    for (uint32_t i = 0; i < c.literals; ++i) w.code(code.litLen[generator() & 0xFF]);
    // Length 3 at distances 9, 17 and 100.
    for (uint32_t distance : {9u, 17u, 100u}) {
      const auto [symbol, extra] = DistanceSymbol(distance);
      w.code(code.litLen[257]);
      w.code(code.distance[symbol]);
      w.bits(extra, symbol / 2 - 1);
    }
    const uint32_t position = c.literals % kWindowSize + 9;  // in the window, after the matches
    uint32_t written = position;  // the write position when the fixed block starts
    if (c.after == kMarker) {
      w.code(code.litLen[285]);
      w.bits(0, 16);
      for (int i = 0; i < 10; ++i) w.code(code.litLen['m']);
      written = 10;
    }
    if (c.after == kFarMatchInTheBlock) MatchOf258(w, kWindowSize - 2, &code);
    w.code(code.litLen[256]);
    if (c.after == kFixedBlockAtTheEnd) {
      for (int i = 0; i < 8; ++i) {  // empty stored blocks: input, and no output
        w.bits(0, 3);
        w.alignToByte();
        w.bits(0, 16);
        w.bits(0xFFFF, 16);
      }
    }
    w.bits(1, 1);  // a final fixed block
    w.bits(1, 2);
    // From 4 bytes before the short matches' end, through the bytes after it, wherever the write
    // position stands; then the bytes just ahead of it.
    if (c.after == kMarker) MatchOf258(w, kWindowSize + written - (position - 4), nullptr);
    if (c.literals >= kWindowSize) MatchOf258(w, kWindowSize, nullptr);
    if (c.after != kFixedBlockAtTheEnd) {
      for (int i = 0; i < 64; ++i) FixedLitLen(w, 't');  // input behind the matches: the fast loop's
    }
    FixedLitLen(w, 256);
    for (int deflate64 : {0, 1}) {
      if (c.after == kMarker && !deflate64) continue;  // symbol 285 is a flush marker in Deflate64 only
      SCOPED_TRACE(deflate64);
      ASSERT_EQ(inflate_test::Run(Inflate, w.bytes(), deflate64, kInputSize, ZeroWindow()).result, c.result);
      ExpectSameAsReference(w.bytes(), deflate64, kInputSize, ZeroWindow());
    }
  }
}

// A damaged stream may decode, or stop with 10, 11 or 12, or end inside a stored block: the two
// decoders must do the same, in both modes, with reads of every size and old window content.
TEST(InflateDifferential, DamagedStreamsBehaveAsTheByteDecoder) {
  std::mt19937 generator(99);
  Bytes oldWindow(kWindowSize);
  for (auto& b : oldWindow) b = static_cast<uint8_t>(generator());
  const std::vector<Encoding> encodings = Encodings();
  for (int round = 0; round < 600; ++round) {
    SCOPED_TRACE(round);
    const Encoding& encoding = encodings[generator() % encodings.size()];
    Bytes stream = Deflate(Source(generator(), 1 + generator() % 70000, generator()), encoding);
    switch (round % 4) {
      case 0:  // a few bits flipped
        for (int flips = 1 + generator() % 3; flips > 0; --flips) {
          stream[generator() % stream.size()] ^= static_cast<uint8_t>(1u << (generator() % 8));
        }
        break;
      case 1:  // cut short
        stream.resize(generator() % stream.size());
        break;
      case 2:  // a stretch overwritten with noise
        for (size_t at = generator() % stream.size(), n = 1 + generator() % 40; n > 0 && at < stream.size(); --n) {
          stream[at++] = static_cast<uint8_t>(generator());
        }
        break;
      default:  // noise from the start
        for (auto& b : stream) b = static_cast<uint8_t>(generator());
        stream.resize(generator() % 2000);
        break;
    }
    const uint32_t pieces[] = {kInputSize, 1, 2, 13, 4096};
    ExpectSameAsReference(stream, static_cast<int>(generator() % 2), pieces[generator() % 5],
                          generator() % 2 ? oldWindow : ZeroWindow());
  }
}

// Deflate64 streams of another encoder, whole, cut and damaged, in both modes.
TEST(InflateDifferential, Deflate64EntriesBehaveAsTheByteDecoder) {
  const std::string zip = std::string(VESPA_CORPUS) + "/deflate64-rs/deflate64.zip";
  if (!std::filesystem::exists(zip)) GTEST_SKIP() << "the corpus of other projects' archives is missing: " << zip;
  std::mt19937 generator(64);
  for (const LocalEntry& entry : ReadLocalEntries(ReadFile(zip))) {
    if (entry.method != 9 || entry.data.empty()) continue;
    SCOPED_TRACE(entry.name);
    ExpectSameAsReference(entry.data, 1, kInputSize, ZeroWindow());
    for (int round = 0; round < 12; ++round) {
      Bytes stream = entry.data;
      if (round % 2) {
        stream.resize(generator() % stream.size());
      } else {
        stream[generator() % stream.size()] ^= static_cast<uint8_t>(1u << (generator() % 8));
      }
      ExpectSameAsReference(stream, round % 3 ? 1 : 0, round % 5 ? kInputSize : 7, ZeroWindow());
    }
  }
}

}  // namespace
}  // namespace inflate_test
