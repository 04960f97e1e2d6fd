// The LZMA decoder against liblzma. Streams come from liblzma's encoder over data built to reach
// the decoder's edges: matches reaching exactly the dictionary's size back, the longest lengths,
// a ring that wraps, literal contexts of every lc/lp/pb that encoder takes, streams with and
// without end marker; they are fed in reads of every size from 1 byte, so that every symbol and
// the end marker fall on a buffer edge somewhere. Each decodes to liblzma's bytes; a cut stream
// never passes for whole; damaged streams never read or write out of bounds (the sanitizers) and,
// where both decoders accept one, give the same bytes.
#include <gtest/gtest.h>
#include <lzma.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <stdexcept>
#include <vector>

#include "lzma/lzma.h"
#include "report/messages.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Shape {
  unsigned lc, lp, pb;
  uint32_t dictionary;
  uint32_t preset;
};

// An entry's data as a ZIP holds it: header, properties, stream.
Bytes Encode(const Bytes& data, const Shape& shape, bool endMarker) {
  lzma_options_lzma options{};
  if (lzma_lzma_preset(&options, shape.preset)) throw std::runtime_error("preset");
  options.lc = shape.lc;
  options.lp = shape.lp;
  options.pb = shape.pb;
  options.dict_size = shape.dictionary;
  options.ext_flags = endMarker ? LZMA_LZMA1EXT_ALLOW_EOPM : 0;
  lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  lzma_stream s = LZMA_STREAM_INIT;
  if (lzma_raw_encoder(&s, filters) != LZMA_OK) throw std::runtime_error("encoder");
  Bytes out(data.size() + data.size() / 2 + 1024);
  out[0] = 5;
  out[1] = 4;
  out[2] = 5;
  out[3] = 0;
  out[4] = static_cast<uint8_t>((shape.pb * 5 + shape.lp) * 9 + shape.lc);
  for (int i = 0; i < 4; ++i) out[5 + i] = static_cast<uint8_t>(shape.dictionary >> (8 * i));
  s.next_in = data.data();
  s.avail_in = data.size();
  s.next_out = out.data() + kLzmaHeaderSize;
  s.avail_out = out.size() - kLzmaHeaderSize;
  lzma_ret r = LZMA_OK;
  while (r == LZMA_OK) r = lzma_code(&s, LZMA_FINISH);
  out.resize(kLzmaHeaderSize + s.total_out);
  lzma_end(&s);
  if (r != LZMA_STREAM_END) throw std::runtime_error("encode");
  return out;
}

// liblzma's verdict on an entry's data: true and its bytes, or false.
bool LiblzmaDecode(const Bytes& entry, uint64_t size, bool endMarker, Bytes* out) {
  if (entry.size() < kLzmaHeaderSize) return false;
  lzma_options_lzma options{};
  uint8_t properties = entry[4];
  if (properties >= 225) return false;
  options.lc = properties % 9;
  options.lp = properties / 9 % 5;
  options.pb = properties / 45;
  if (options.lc + options.lp > LZMA_LCLP_MAX) return false;
  uint32_t dictionary = entry[5] | entry[6] << 8 | entry[7] << 16 | static_cast<uint32_t>(entry[8]) << 24;
  options.dict_size = std::max<uint32_t>(dictionary, LZMA_DICT_SIZE_MIN);
  options.ext_flags = endMarker ? LZMA_LZMA1EXT_ALLOW_EOPM : 0;
  options.ext_size_low = static_cast<uint32_t>(size);
  options.ext_size_high = static_cast<uint32_t>(size >> 32);
  lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  lzma_stream s = LZMA_STREAM_INIT;
  if (lzma_raw_decoder(&s, filters) != LZMA_OK) return false;
  out->assign(size + 1, 0);
  s.next_in = entry.data() + kLzmaHeaderSize;
  s.avail_in = entry.size() - kLzmaHeaderSize;
  s.next_out = out->data();
  s.avail_out = out->size();
  lzma_ret r = LZMA_OK;
  while (r == LZMA_OK) r = lzma_code(&s, LZMA_FINISH);
  out->resize(s.total_out);
  lzma_end(&s);
  // With the end marker the marker must come right after the size: with it allowed liblzma
  // also takes a stream without one.
  return r == LZMA_STREAM_END && out->size() == size;
}

class Feed : public InflateIo {
 public:
  Feed(const Bytes& entry, size_t piece) : entry_(entry), piece_(piece) {}
  uint32_t readInput(uint8_t* buffer, uint32_t wanted) override {
    size_t n = std::min({static_cast<size_t>(wanted), piece_, entry_.size() - at_});
    if (n > 0) std::memcpy(buffer, entry_.data() + at_, n);
    at_ += n;
    return static_cast<uint32_t>(n);
  }
  void writeOutput(const uint8_t* bytes, uint32_t count) override {
    out.insert(out.end(), bytes, bytes + count);
  }
  Bytes out;

 private:
  const Bytes& entry_;
  size_t piece_;
  size_t at_ = 0;
};

int Decode(const Bytes& entry, uint64_t size, bool endMarker, Bytes* out, size_t piece = 1 << 30,
           uint32_t inputSize = 61440) {
  std::vector<uint8_t> input(inputSize);
  Feed feed(entry, piece);
  int result = DecodeLzma(input.data(), inputSize, feed, size, endMarker);
  *out = std::move(feed.out);
  return result;
}

Bytes Random(size_t size, std::mt19937& generator) {
  Bytes out(size);
  for (auto& b : out) b = static_cast<uint8_t>(generator());
  return out;
}

// Data whose matches fall where the decoder has its edges.
Bytes Source(int kind, uint32_t dictionary, std::mt19937& generator) {
  Bytes out;
  switch (kind) {
    case 0: {  // a random block repeated: every match reaches back exactly one dictionary
      Bytes block = Random(dictionary, generator);
      for (int i = 0; i < 3; ++i) out.insert(out.end(), block.begin(), block.end());
      break;
    }
    case 1:  // long runs: matches of the longest length, 273, at distance 1
      for (int run = 0; run < 40; ++run) out.insert(out.end(), 1000 + run * 97, static_cast<uint8_t>(run * 37));
      break;
    case 2: {  // words: short matches, rep matches, matched literals
      static const char* const kWords[] = {"arquivo ", "extrair ", "janela ", "bloco\n", "a ", "dicionário "};
      while (out.size() < 300000) {
        for (const char* c = kWords[generator() % 6]; *c; ++c) out.push_back(static_cast<uint8_t>(*c));
      }
      break;
    }
    default: {  // far repeats with changes, across a ring that wraps (700 KB)
      Bytes block = Random(5000, generator);
      while (out.size() < 700000) {
        out.insert(out.end(), block.begin(), block.end());
        block[generator() % block.size()] ^= 0x5A;
      }
    }
  }
  return out;
}

TEST(LzmaDecoder, DecodesWhatLiblzmaWritesOnEveryEdge) {
  std::mt19937 generator(14);
  const Shape shapes[] = {
      {3, 0, 2, 4096, 6},     {0, 0, 0, 65536, 6},  {4, 0, 4, 1 << 20, 9}, {0, 4, 0, 32768, 3},
      {1, 3, 1, 4096, 1},     {2, 2, 3, 300000, 7}, {0, 2, 2, 1 << 16, 2},
  };
  for (const Shape& shape : shapes) {
    for (int kind = 0; kind < 4; ++kind) {
      const Bytes data = Source(kind, shape.dictionary, generator);
      for (bool endMarker : {false, true}) {
        SCOPED_TRACE(testing::Message() << "lc " << shape.lc << " lp " << shape.lp << " pb " << shape.pb
                                        << " dictionary " << shape.dictionary << " kind " << kind
                                        << " marker " << endMarker);
        const Bytes entry = Encode(data, shape, endMarker);
        Bytes theirs, ours;
        ASSERT_TRUE(LiblzmaDecode(entry, data.size(), endMarker, &theirs));
        ASSERT_EQ(Decode(entry, data.size(), endMarker, &ours), kInflateOk);
        ASSERT_TRUE(ours == data);
      }
    }
  }
}

// Reads of every size from 1 byte, and an input buffer just above the decoder's least: the end
// of the data, the end marker and the stream's first bytes meet every buffer edge.
TEST(LzmaDecoder, EveryReadSizeAndSmallBuffers) {
  std::mt19937 generator(3);
  const Bytes data = Source(2, 4096, generator);
  const Bytes small(data.begin(), data.begin() + 20000);
  for (bool endMarker : {false, true}) {
    const Bytes entry = Encode(small, {3, 0, 2, 4096, 6}, endMarker);
    for (size_t piece = 1; piece <= 200; ++piece) {
      Bytes ours;
      ASSERT_EQ(Decode(entry, small.size(), endMarker, &ours, piece, 4096), kInflateOk) << piece;
      ASSERT_TRUE(ours == small) << piece;
    }
  }
}

// Every stream cut short fails; one that goes on past the directory's size fails when the size
// says the marker should be there, and with a marker before the size.
TEST(LzmaDecoder, CutOrMislabelledStreamsFail) {
  std::mt19937 generator(7);
  const Bytes data = Source(2, 4096, generator);
  const Bytes small(data.begin(), data.begin() + 3000);
  struct Row {
    bool endMarker;
    int64_t sizeDelta;
    int expected;
  } const rows[] = {
      {true, -1, kWarnLzmaBadData},  // a literal where the marker should be
      {true, +1, kWarnDataEnded},    // the marker before the size
      {false, +1, kWarnDataEnded},   // the data needs bytes past its end
  };
  for (const Row& row : rows) {
    const Bytes entry = Encode(small, {3, 0, 2, 4096, 6}, row.endMarker);
    Bytes ours;
    EXPECT_EQ(Decode(entry, small.size() + row.sizeDelta, row.endMarker, &ours), row.expected);
  }
  for (bool endMarker : {false, true}) {
    const Bytes entry = Encode(small, {3, 0, 2, 4096, 6}, endMarker);
    for (size_t cut = 0; cut < entry.size(); ++cut) {
      const Bytes part(entry.begin(), entry.begin() + cut);
      Bytes ours;
      const int result = Decode(part, small.size(), endMarker, &ours, 1 << 30, 4096);
      ASSERT_TRUE(result == kWarnDataEnded || result == kWarnLzmaBadData) << cut << " gave " << result;
    }
  }
}

// Headers: what is refused, and that a dictionary larger than the limit is taken when the entry
// is small enough for it to be cut to the entry's size.
TEST(LzmaDecoder, HeadersAndTheDictionaryLimit) {
  std::mt19937 generator(5);
  const Bytes data = Source(2, 4096, generator);
  const Bytes small(data.begin(), data.begin() + 5000);
  // Written with 4096 bytes; the header then claims 1 GiB, which changes nothing of the stream.
  Bytes entry = Encode(small, {3, 0, 2, 4096, 6}, false);
  entry[8] = 0x40;
  Bytes ours;
  EXPECT_EQ(Decode(entry, small.size(), false, &ours), kInflateOk);  // 1 GiB cut to 5000 bytes
  EXPECT_TRUE(ours == small);

  struct Row {
    int offset;
    uint8_t value;
    uint64_t size;
    int expected;
  } const rows[] = {
      {2, 4, 5000, kWarnLzmaBadData},                          // properties size 4
      {4, 225, 5000, kWarnLzmaBadData},                        // properties byte out of range
      {9, 1, 5000, kWarnLzmaBadData},                          // the stream's first byte is not 0
      {8, 0xFF, uint64_t{1} << 32, kWarnLzmaDictionaryTooLarge},  // 4 GiB for a 4 GiB entry
  };
  for (const Row& row : rows) {
    Bytes bad = entry;
    bad[row.offset] = row.value;
    EXPECT_EQ(Decode(bad, row.size, false, &ours), row.expected) << row.offset;
  }
  // lc 8 (beyond what liblzma writes): the decoder takes it; a literal coder of 0x300 << 12.
  Bytes lc8 = entry;
  lc8[4] = (0 * 5 + 4) * 9 + 8;
  Decode(lc8, small.size(), false, &ours);
}

// Damaged streams: no out-of-bounds access whatever the bytes, no output past the size, and
// when liblzma accepts the stream too, the same bytes.
TEST(LzmaDecoder, DamagedStreams) {
  std::mt19937 generator(11);
  const Bytes data = Source(3, 4096, generator);
  const Bytes part(data.begin(), data.begin() + 60000);
  for (bool endMarker : {false, true}) {
    const Bytes entry = Encode(part, {3, 0, 2, 8192, 5}, endMarker);
    for (int round = 0; round < 300; ++round) {
      Bytes bad = entry;
      const int flips = 1 + round % 4;
      for (int i = 0; i < flips; ++i) {
        bad[kLzmaHeaderSize + 1 + generator() % (bad.size() - kLzmaHeaderSize - 1)] ^=
            static_cast<uint8_t>(1u << (generator() % 8));
      }
      Bytes ours, theirs;
      const int result = Decode(bad, part.size(), endMarker, &ours);
      ASSERT_LE(ours.size(), part.size());
      if (result == kInflateOk && LiblzmaDecode(bad, part.size(), endMarker, &theirs)) {
        ASSERT_TRUE(ours == theirs) << round;
      }
    }
  }
}

}  // namespace
