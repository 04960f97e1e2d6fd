// Streams made by zlib decode to their source: every block type zlib writes, window flushes and
// matches that wrap the window, read in pieces of every awkward size.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>

#include "inflate_harness.h"

namespace inflate_test {
namespace {

Bytes Text(size_t size, unsigned seed) {
  static const char* const kWords[] = {"arquivo", "extrair", "janela", "bloco", "código", "tabela",
                                       "distância", "comprimento", "the", "of", "a", "\n"};
  std::mt19937 generator(seed);
  Bytes out;
  while (out.size() < size) {
    const std::string word = kWords[generator() % (sizeof kWords / sizeof kWords[0])];
    out.insert(out.end(), word.begin(), word.end());
    out.push_back(' ');
  }
  out.resize(size);
  return out;
}

Bytes Random(size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  Bytes out(size);
  for (auto& b : out) b = static_cast<uint8_t>(generator());
  return out;
}

// Half the bytes follow a geometric law, half are uniform: the literal code gets lengths up to 15,
// so decoding walks the overflow trees.
Bytes Skewed(size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  Bytes out(size);
  for (auto& b : out) {
    const uint32_t r = generator();
    if (r & 1) {
      unsigned v = 0;
      while ((generator() & 1) && v < 255) ++v;
      b = static_cast<uint8_t>(v);
    } else {
      b = static_cast<uint8_t>(r >> 8);
    }
  }
  return out;
}

// A random 1000-byte pattern repeated with rare changes: long matches at distance 1000 that cross
// the window end again and again.
Bytes Pattern(size_t size, unsigned seed) {
  const Bytes unit = Random(1000, seed);
  std::mt19937 generator(seed + 1);
  Bytes out(size);
  for (size_t i = 0; i < size; ++i) out[i] = unit[i % unit.size()];
  for (size_t i = 0; i < size / 5000; ++i) out[generator() % size] ^= 0x5A;
  return out;
}

// Text, then incompressible bytes, then zeros, then text: blocks of different types in one stream.
Bytes Mixed(unsigned seed) {
  Bytes out = Text(70000, seed);
  for (const Bytes& part : {Random(90000, seed), Bytes(150000, 0), Text(40000, seed + 1)}) {
    out.insert(out.end(), part.begin(), part.end());
  }
  return out;
}

struct Source {
  const char* name;
  Bytes data;
};

std::vector<Source> Sources() {
  return {
      {"empty", {}},
      {"one byte", {'x'}},
      {"text", Text(300000, 1)},
      {"random", Random(200000, 2)},
      {"zeros", Bytes(1 << 20, 0)},
      {"skewed", Skewed(200000, 3)},
      {"pattern", Pattern(250000, 4)},
      {"mixed", Mixed(5)},
  };
}

struct Encoding {
  const char* name;
  ZlibSettings settings;
};

const Encoding kEncodings[] = {
    {"level 9", {9, Z_DEFAULT_STRATEGY, 0}},
    {"level 1", {1, Z_DEFAULT_STRATEGY, 0}},
    {"fixed blocks", {6, Z_FIXED, 0}},
    {"literals only", {6, Z_HUFFMAN_ONLY, 0}},
    {"runs", {6, Z_RLE, 0}},
    {"stored", {0, Z_DEFAULT_STRATEGY, 0}},
    // Every sync flush ends a block and writes an empty stored block (LEN 0, NLEN 0xFFFF).
    {"sync flushes", {9, Z_DEFAULT_STRATEGY, 10007}},
};

void ExpectWholeWindows(const std::vector<uint32_t>& pieces, size_t total) {
  size_t sum = 0;
  for (size_t i = 0; i < pieces.size(); ++i) {
    if (i + 1 < pieces.size()) {
      EXPECT_EQ(pieces[i], kWindowSize) << "piece " << i;
    } else {
      EXPECT_GT(pieces[i], 0u);
    }
    sum += pieces[i];
  }
  EXPECT_EQ(sum, total);
}

TEST(InflateRoundTrip, EveryZlibEncodingOfEverySource) {
  for (const Source& source : Sources()) {
    for (const Encoding& encoding : kEncodings) {
      SCOPED_TRACE(std::string(source.name) + ", " + encoding.name);
      const Bytes stream = ZlibDeflate(source.data, encoding.settings);
      const Decoded decoded = Decode(stream);
      ASSERT_EQ(decoded.result, kInflateOk);
      ASSERT_TRUE(decoded.output == source.data);
      ExpectWholeWindows(decoded.pieces, source.data.size());
    }
  }
}

// The decoder must not care how its reads are answered: a byte at a time, or pieces that end in
// the middle of codes, headers and stored-block lengths.
TEST(InflateRoundTrip, ShortReadsGiveTheSameOutput) {
  const Bytes data = Mixed(6);
  for (const Encoding& encoding : kEncodings) {
    const Bytes stream = ZlibDeflate(data, encoding.settings);
    for (uint32_t piece : {1u, 2u, 4093u}) {
      SCOPED_TRACE(std::string(encoding.name) + ", piece " + std::to_string(piece));
      DecodeOptions options;
      options.piece = piece;
      const Decoded decoded = Decode(stream, options);
      ASSERT_EQ(decoded.result, kInflateOk);
      ASSERT_TRUE(decoded.output == data);
    }
  }
}

// The two modes differ only in length symbol 285, so a Deflate stream without 258-byte matches
// decodes the same in Deflate64 mode. Random bytes have no long matches.
TEST(InflateRoundTrip, StreamsWithoutLengthSymbol285DecodeTheSameInDeflate64Mode) {
  const Bytes data = Random(100000, 7);
  for (const Encoding& encoding : {kEncodings[0], kEncodings[2], kEncodings[5]}) {
    SCOPED_TRACE(encoding.name);
    DecodeOptions options;
    options.deflate64 = 1;
    const Decoded decoded = Decode(ZlibDeflate(data, encoding.settings), options);
    ASSERT_EQ(decoded.result, kInflateOk);
    ASSERT_TRUE(decoded.output == data);
  }
}

}  // namespace
}  // namespace inflate_test
