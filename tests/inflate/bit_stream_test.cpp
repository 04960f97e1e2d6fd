// Hand-built bit streams: each row a stream with one feature or fault, and what decoding it gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>

#include "inflate_harness.h"

namespace inflate_test {
namespace {

// A block of the fixed code: BFINAL, BTYPE 1.
void FixedBlock(BitWriter& w, bool final) {
  w.bits(final ? 1 : 0, 1);
  w.bits(1, 2);
}

void StoredBlock(BitWriter& w, bool final, const Bytes& data) {
  w.bits(final ? 1 : 0, 1);
  w.bits(0, 2);
  w.alignToByte();
  w.bits(static_cast<uint32_t>(data.size()), 16);
  w.bits(~static_cast<uint32_t>(data.size()) & 0xFFFF, 16);
  for (uint8_t b : data) w.byte(b);
}

void Literals(BitWriter& w, const std::string& text) {
  for (unsigned char c : text) FixedLitLen(w, c);
}

// Lengths of a small dynamic lit/len code: 'a' 1 bit, end of block and length 3 (257) 2 bits each.
std::vector<uint8_t> SmallLitLen() {
  std::vector<uint8_t> lengths(258, 0);
  lengths['a'] = 1;
  lengths[256] = 2;
  lengths[257] = 2;
  return lengths;
}

Bytes Repeat(uint8_t byte, size_t count) { return Bytes(count, byte); }
Bytes Str(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A row: the stream is what write puts down, less its last cut bytes.
struct StreamCase {
  const char* name;
  std::function<void(BitWriter&)> write;
  int deflate64;
  int result;
  Bytes output;  // checked when result is kInflateOk
  size_t cut = 0;
};

Bytes StreamOf(const StreamCase& c) {
  BitWriter w;
  c.write(w);
  Bytes stream = w.bytes();
  stream.resize(stream.size() - c.cut);
  return stream;
}

// A dynamic block's header with the lit/len and distance lengths given, sent with the standard
// code-length code in plain steps.
void PlainDynamicHeader(BitWriter& w, bool final, const std::vector<uint8_t>& litLen,
                        const std::vector<uint8_t>& distance) {
  DynamicHeader(w, final, static_cast<unsigned>(litLen.size()),
                static_cast<unsigned>(distance.size()), StandardCodeLengthCode(),
                PlainSteps(litLen, distance));
}

const std::vector<StreamCase>& Cases() {
  static const std::vector<StreamCase> cases = {
      {"block type 3",
       [](BitWriter& w) {
         w.bits(1, 1);
         w.bits(3, 2);
       },
       0, kInflateBadBlockType, {}},
      {"block type 3 after a good block drops the unflushed output",
       [](BitWriter& w) {
         FixedBlock(w, false);
         Literals(w, "abc");
         FixedLitLen(w, 256);
         w.bits(1, 1);
         w.bits(3, 2);
       },
       0, kInflateBadBlockType, {}},
      {"stored length not the complement of its check",
       [](BitWriter& w) {
         w.bits(1, 1);
         w.bits(0, 2);
         w.alignToByte();
         w.bits(5, 16);
         w.bits(5, 16);
         for (int i = 0; i < 5; ++i) w.byte('s');
       },
       0, kInflateBadTable, {}},
      {"stored block of length 0, then a fixed block",
       [](BitWriter& w) {
         FixedBlock(w, false);
         Literals(w, "ab");  // leaves the reader in the middle of a byte
         FixedLitLen(w, 256);
         StoredBlock(w, false, {});
         FixedBlock(w, true);
         Literals(w, "c");
         FixedLitLen(w, 256);
       },
       0, kInflateOk, Str("abc")},
      {"final stored block of length 0",
       [](BitWriter& w) {
         StoredBlock(w, true, {});
       },
       0, kInflateOk, {}},
      {"data ends inside a final stored block",
       [](BitWriter& w) {
         StoredBlock(w, true, Str("0123456789"));
       },
       0, kInflateOk, Str("0123"), 6},
      {"data ends inside a stored block that is not the last",
       [](BitWriter& w) {
         FixedBlock(w, false);
         Literals(w, "xy");
         FixedLitLen(w, 256);
         StoredBlock(w, false, Str("0123456789"));
       },
       0, kInflateOk, Str("xy0123"), 6},
      {"data ends inside a Huffman block",
       [](BitWriter& w) {
         // The filler bits after the end read as 'a' (code 0) until the refills give up.
         const auto lit = SmallLitLen();
         PlainDynamicHeader(w, true, lit, {1});
         const auto codes = CanonicalCodes(lit);
         w.code(codes['a']);
         w.code(codes['a']);
       },
       0, kInflateDataEnded, {}},
      {"data ends inside the last block, where zero filler reads as its end",
       [](BitWriter& w) {
         // Seven zero bits are the fixed code's end of block: the filler would close the
         // block, and the stream would pass for whole.
         FixedBlock(w, true);
         Literals(w, "ab");
       },
       0, kInflateDataEnded, {}},
      {"no data at all",
       [](BitWriter&) {},
       0, kInflateOk, {}},
      {"single-code distance tree",
       [](BitWriter& w) {
         const auto lit = SmallLitLen();
         PlainDynamicHeader(w, true, lit, {1});
         const auto codes = CanonicalCodes(lit);
         w.code(codes['a']);
         w.code(codes[257]);
         w.code(0, 1);  // distance symbol 0: distance 1
         w.code(codes[256]);
       },
       0, kInflateOk, Str("aaaa")},
      {"single-code distance tree, the unused bit pattern",
       [](BitWriter& w) {
         const auto lit = SmallLitLen();
         PlainDynamicHeader(w, true, lit, {1});
         const auto codes = CanonicalCodes(lit);
         w.code(codes['a']);
         w.code(codes[257]);
         w.code(1, 1);
         w.code(codes[256]);
       },
       0, kInflateBadTable, {}},
      {"lit/len code of one symbol: only the end of the block",
       [](BitWriter& w) {
         std::vector<uint8_t> lit(257, 0);
         lit[256] = 1;
         PlainDynamicHeader(w, true, lit, {0});
         w.code(0, 1);
       },
       0, kInflateOk, {}},
      {"a single lit/len code of 12 bits",
       [](BitWriter& w) {
         std::vector<uint8_t> lit(257, 0);
         lit[256] = 12;
         PlainDynamicHeader(w, true, lit, {0});
         w.code(0, 12);
       },
       0, kInflateOk, {}},
      {"a single lit/len code of 12 bits, a pattern that leaves it in the tree",
       [](BitWriter& w) {
         std::vector<uint8_t> lit(257, 0);
         lit[256] = 12;
         PlainDynamicHeader(w, true, lit, {0});
         w.code(0x002, 12);
       },
       0, kInflateBadTable, {}},
      {"a single lit/len code of 12 bits, a pattern that misses it in the primary table",
       [](BitWriter& w) {
         std::vector<uint8_t> lit(257, 0);
         lit[256] = 12;
         PlainDynamicHeader(w, true, lit, {0});
         w.code(0x800, 12);
       },
       0, kInflateBadTable, {}},
      {"a block whose distance code is empty uses a distance",
       [](BitWriter& w) {
         PlainDynamicHeader(w, true, SmallLitLen(), {0});
         const auto codes = CanonicalCodes(SmallLitLen());
         w.code(codes['a']);
         w.code(codes[257]);
         w.bits(0, 8);
       },
       0, kInflateBadTable, {}},
      {"over-subscribed lit/len code: two symbols of length 1 and one more",
       [](BitWriter& w) {
         std::vector<uint8_t> lit(257, 0);
         lit['a'] = 1;
         lit['b'] = 1;
         lit[256] = 1;
         PlainDynamicHeader(w, true, lit, {1});
         w.bits(0, 8);
       },
       0, kInflateBadTable, {}},
      {"over-subscribed lit/len code whose excess is a whole multiple",
       [](BitWriter& w) {
         // Four codes of length 1 are twice a complete code: no check modulo 2^16 may pass it.
         std::vector<uint8_t> lit(257, 0);
         lit['a'] = lit['b'] = lit['c'] = lit[256] = 1;
         PlainDynamicHeader(w, true, lit, {1});
         w.bits(0, 8);
       },
       0, kInflateBadTable, {}},
      {"over-subscribed code-length code",
       [](BitWriter& w) {
         std::vector<uint8_t> cl(19, 0);
         cl[0] = cl[1] = cl[2] = 1;
         DynamicHeader(w, true, 257, 1, cl, {});
         w.bits(0, 16);
       },
       0, kInflateBadTable, {}},
      {"incomplete lit/len code",
       [](BitWriter& w) {
         std::vector<uint8_t> lit(257, 0);
         lit['a'] = 1;
         lit[256] = 2;
         PlainDynamicHeader(w, true, lit, {1});
         w.bits(0, 8);
       },
       0, kInflateBadTable, {}},
      {"incomplete distance code of two symbols",
       [](BitWriter& w) {
         PlainDynamicHeader(w, true, SmallLitLen(), {1, 2});
         w.bits(0, 8);
       },
       0, kInflateBadTable, {}},
      {"repeat code 16 in the first position",
       [](BitWriter& w) {
         DynamicHeader(w, true, 257, 1, StandardCodeLengthCode(), {{16, 0}});
         w.bits(0, 16);
       },
       0, kInflateBadTable, {}},
      {"zero run past the lit/len and distance lengths",
       [](BitWriter& w) {
         // 257 + 1 lengths: 138 + 119 zeros leave one, and a run of 3 zeros passes the end.
         DynamicHeader(w, true, 257, 1, StandardCodeLengthCode(), {{18, 127}, {18, 108}, {17, 0}});
         w.bits(0, 16);
       },
       0, kInflateBadTable, {}},
      {"repeat run past the lit/len and distance lengths",
       [](BitWriter& w) {
         DynamicHeader(w, true, 257, 1, StandardCodeLengthCode(), {{18, 127}, {18, 107}, {1}, {16, 0}});
         w.bits(0, 16);
       },
       0, kInflateBadTable, {}},
      {"repeats cross from the lit/len lengths into the distance lengths",
       [](BitWriter& w) {
         // 'a', 256, 257 and 258 of length 2; four distance symbols of length 2. The two repeats
         // of 16 carry the length 2 of symbol 256 over 257, 258 and all four distance lengths.
         DynamicHeader(w, true, 259, 4, StandardCodeLengthCode(),
                       {{18, 97 - 11}, {2}, {18, 138 - 11}, {18, 20 - 11}, {2}, {16, 0}, {16, 0}});
         std::vector<uint8_t> lit(259, 0);
         lit['a'] = lit[256] = lit[257] = lit[258] = 2;
         const auto codes = CanonicalCodes(lit);
         const auto distances = CanonicalCodes({2, 2, 2, 2});
         w.code(codes['a']);
         w.code(codes[257]);      // length 3
         w.code(distances[0]);    // distance 1
         w.code(codes[258]);      // length 4
         w.code(distances[1]);    // distance 2
         w.code(codes[256]);
       },
       0, kInflateOk, Str("aaaaaaaa")},
      {"codes of 9 to 15 bits in both trees",
       [](BitWriter& w) {
         // Literals 'a'..'n' of lengths 1 to 14, end of block and length 3 of length 15; distance
         // symbols 0 to 14 of lengths 1 to 15 and symbol 15 of length 15.
         std::vector<uint8_t> lit(258, 0);
         for (unsigned i = 0; i < 14; ++i) lit['a' + i] = static_cast<uint8_t>(i + 1);
         lit[256] = lit[257] = 15;
         std::vector<uint8_t> dist(16);
         for (unsigned i = 0; i < 15; ++i) dist[i] = static_cast<uint8_t>(i + 1);
         dist[15] = 15;
         PlainDynamicHeader(w, true, lit, dist);
         const auto codes = CanonicalCodes(lit);
         const auto distances = CanonicalCodes(dist);
         // 140 literals, so that the farthest match below stays within the output.
         for (int round = 0; round < 10; ++round) {
           for (char c : std::string("nmlkjihgfedcba")) w.code(codes[static_cast<unsigned char>(c)]);
         }
         w.code(codes[257]);
         w.code(distances[14]);  // 15 bits: distances 129 to 192, 6 extra bits
         w.bits(0, 6);
         w.code(codes[257]);
         w.code(distances[3]);  // 4 bits: distance 4
         w.code(codes[256]);
       },
       0, kInflateOk, [] {
         Bytes out;
         for (int round = 0; round < 10; ++round) {
           const Bytes part = Str("nmlkjihgfedcba");
           out.insert(out.end(), part.begin(), part.end());
         }
         for (int i = 0; i < 3; ++i) out.push_back(out[out.size() - 129]);
         for (int i = 0; i < 3; ++i) out.push_back(out[out.size() - 4]);
         return out;
       }()},
      {"literal/length symbol 286",
       [](BitWriter& w) {
         FixedBlock(w, true);
         Literals(w, "a");
         FixedLitLen(w, 286);
         FixedDistance(w, 0);
         FixedLitLen(w, 256);
       },
       0, kInflateBadTable, {}},
      {"literal/length symbol 287 in Deflate64 mode",
       [](BitWriter& w) {
         FixedBlock(w, true);
         Literals(w, "a");
         FixedLitLen(w, 287);
         FixedDistance(w, 0);
         FixedLitLen(w, 256);
       },
       1, kInflateBadTable, {}},
      {"length symbol 285 in Deflate mode is 258 with no extra bits",
       [](BitWriter& w) {
         FixedBlock(w, true);
         Literals(w, "x");
         FixedLitLen(w, 285);
         FixedDistance(w, 0);
         Literals(w, "y");
         FixedLitLen(w, 256);
       },
       0, kInflateOk, [] {
         Bytes out = Repeat('x', 259);
         out.push_back('y');
         return out;
       }()},
      {"length symbol 285 in Deflate64 mode takes 16 extra bits",
       [](BitWriter& w) {
         FixedBlock(w, true);
         Literals(w, "x");
         FixedLitLen(w, 285);
         w.bits(300, 16);
         FixedDistance(w, 0);
         Literals(w, "y");
         FixedLitLen(w, 256);
       },
       1, kInflateOk, [] {
         Bytes out = Repeat('x', 304);
         out.push_back('y');
         return out;
       }()},
      {"longest Deflate64 match crosses the window end",
       [](BitWriter& w) {
         FixedBlock(w, true);
         Literals(w, "z");
         FixedLitLen(w, 285);
         w.bits(65535, 16);  // length 65538
         FixedDistance(w, 0);
         FixedLitLen(w, 256);
       },
       1, kInflateOk, Repeat('z', 65539)},
      {"Deflate64 flush marker",
       [](BitWriter& w) {
         FixedBlock(w, true);
         Literals(w, "ab");
         FixedLitLen(w, 285);
         w.bits(0, 16);
         Literals(w, "c");
         FixedLitLen(w, 256);
       },
       1, kInflateOk, Str("abc")},
  };
  return cases;
}

TEST(InflateBitStreams, EachCaseGivesItsResultAndOutput) {
  for (const StreamCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    const Bytes stream = StreamOf(c);
    // Whole, and a byte per read: the result must not depend on where reads end.
    for (uint32_t piece : {kInputSize, 1u}) {
      DecodeOptions options;
      options.deflate64 = c.deflate64;
      options.piece = piece;
      const Decoded decoded = Decode(stream, options);
      EXPECT_EQ(decoded.result, c.result) << "piece " << piece;
      if (c.result == kInflateOk) {
        EXPECT_TRUE(decoded.output == c.output) << "piece " << piece << ", got " << decoded.output.size()
                                                << " bytes";
      } else {
        // On an error, output since the last window flush is dropped; these streams never fill one.
        EXPECT_TRUE(decoded.output.empty());
      }
    }
  }
}

TEST(InflateBitStreams, FlushMarkerHandsOverTheWindowAndWritingRestartsAtItsStart) {
  BitWriter w;
  FixedBlock(w, true);
  Literals(w, "ab");
  FixedLitLen(w, 285);
  w.bits(0, 16);
  Literals(w, "c");
  FixedLitLen(w, 285);
  w.bits(0, 16);
  FixedLitLen(w, 285);  // a marker with nothing decoded since the last one
  w.bits(0, 16);
  Literals(w, "de");
  FixedLitLen(w, 256);
  DecodeOptions options;
  options.deflate64 = 1;
  const Decoded decoded = Decode(w.bytes(), options);
  ASSERT_EQ(decoded.result, kInflateOk);
  EXPECT_EQ(decoded.pieces, (std::vector<uint32_t>{2, 1, 2}));
  EXPECT_TRUE(decoded.output == Str("abcde"));
}

// What was handed over at a flush marker stays written when a later fault stops the decoding.
TEST(InflateBitStreams, OutputBeforeAFlushMarkerSurvivesALaterError) {
  BitWriter w;
  FixedBlock(w, false);
  Literals(w, "kept");
  FixedLitLen(w, 285);
  w.bits(0, 16);
  Literals(w, "lost");
  FixedLitLen(w, 256);
  w.bits(1, 1);
  w.bits(3, 2);
  DecodeOptions options;
  options.deflate64 = 1;
  const Decoded decoded = Decode(w.bytes(), options);
  EXPECT_EQ(decoded.result, kInflateBadBlockType);
  EXPECT_TRUE(decoded.output == Str("kept"));
}

// 65536 + 1000 random bytes written as stored blocks, not final: a whole window of history on
// which every distance lands on known data. Returns the bytes.
Bytes WindowOfHistory(BitWriter& w, unsigned seed) {
  std::mt19937 generator(seed);
  Bytes history(kWindowSize + 1000);
  for (auto& b : history) b = static_cast<uint8_t>(generator());
  StoredBlock(w, false, Bytes(history.begin(), history.begin() + 65535));
  StoredBlock(w, false, Bytes(history.begin() + 65535, history.end()));
  return history;
}

// A match of length 258 (symbol 284 with 5 extra bits) and the given far distance symbol of the
// fixed code with its extra bits.
void FarMatchOf258(BitWriter& w, unsigned distanceSymbol, uint32_t extra) {
  FixedLitLen(w, 284);
  w.bits(31, 5);
  FixedDistance(w, distanceSymbol);
  w.bits(extra & 0xFF, 8);
  w.bits(extra >> 8, distanceSymbol / 2 - 1 - 8);
}

void ExpectInBothModes(const Bytes& stream, const Bytes& expected) {
  for (int deflate64 : {0, 1}) {
    SCOPED_TRACE(deflate64);
    DecodeOptions options;
    options.deflate64 = deflate64;
    const Decoded decoded = Decode(stream, options);
    ASSERT_EQ(decoded.result, kInflateOk);
    EXPECT_TRUE(decoded.output == expected);
  }
}

// Distance symbols 30 and 31 reach up to 65536 back, in both modes.
TEST(InflateBitStreams, DistanceSymbols30And31InBothModes) {
  BitWriter w;
  const Bytes history = WindowOfHistory(w, 30);
  FixedBlock(w, true);
  struct Match {
    unsigned symbol;
    uint32_t extra;
    uint32_t distance;
  };
  const Match matches[] = {{31, 16383, 65536}, {30, 0, 32769}, {30, 16383, 49152}, {31, 0, 49153}, {29, 8191, 32768}};
  for (const Match& m : matches) FarMatchOf258(w, m.symbol, m.extra);
  FixedLitLen(w, 256);

  Bytes expected = history;
  for (const Match& m : matches) {
    for (int i = 0; i < 258; ++i) expected.push_back(expected[expected.size() - m.distance]);
  }
  ExpectInBothModes(w.bytes(), expected);
}

// The bytes just ahead of the write position are the window's oldest, 65536 back: a copy that
// wrote past its match's end there (word copies rounded up) would change what a match of the
// whole window's distance then reads. A short match, then one of 65536, in both modes.
TEST(InflateBitStreams, AWholeWindowMatchReadsTheBytesJustAheadOfTheLastCopy) {
  BitWriter w;
  Bytes expected = WindowOfHistory(w, 65536);
  FixedBlock(w, true);
  for (uint32_t distance : {1u, 9u, 17u}) {
    FixedLitLen(w, 257);  // length 3
    FixedDistance(w, distance == 1 ? 0 : distance == 9 ? 6 : 8);  // 9: symbol 6, 17: symbol 8
    if (distance != 1) w.bits(0, distance == 9 ? 2 : 3);
    for (int i = 0; i < 3; ++i) expected.push_back(expected[expected.size() - distance]);
    FarMatchOf258(w, 31, 16383);  // 49153 + 16383 = 65536
    for (int i = 0; i < 258; ++i) expected.push_back(expected[expected.size() - 65536]);
  }
  // Input enough behind the matches for the decoder's fast loop to take them.
  const std::string tail(64, 't');
  Literals(w, tail);
  expected.insert(expected.end(), tail.begin(), tail.end());
  FixedLitLen(w, 256);
  ExpectInBothModes(w.bytes(), expected);
}

// A match may reach back over the whole 64 KB window, but not before the entry's first byte:
// what the window held there belongs to another entry (or to nothing), and must not leak into
// this one. Such a stream is damaged (code 10); a match reaching exactly to the first byte is not.
TEST(InflateBitStreams, DistanceBeforeTheFirstByteIsRefused) {
  Bytes oldWindow(kWindowSize, 'o');
  struct Case {
    const char* label;
    unsigned distanceSymbol;  // of the fixed code; 0 to 3 are distances 1 to 4
    int result;
    const char* output;
  };
  const Case cases[] = {
      {"to the first byte", 2, kInflateOk, "abcabca"},
      {"one before it", 3, kInflateBadTable, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    BitWriter w;
    FixedBlock(w, true);
    Literals(w, "abc");
    FixedLitLen(w, 258);  // length 4
    FixedDistance(w, c.distanceSymbol);
    FixedLitLen(w, 256);
    DecodeOptions options;
    options.oldWindow = &oldWindow;
    const Decoded decoded = Decode(w.bytes(), options);
    EXPECT_EQ(decoded.result, c.result);
    EXPECT_EQ(std::string(decoded.output.begin(), decoded.output.end()), c.output);
  }
}

// Distance 65536 reaches the byte about to be overwritten once the entry has produced a whole
// window: Deflate64's farthest match is its own data.
TEST(InflateBitStreams, FarthestDistanceAfterAWholeWindow) {
  BitWriter w;
  // A stored block of 65536 bytes (two: LEN is 16 bits), then a fixed block with one match.
  Bytes data(kWindowSize);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + 3);
  for (int half = 0; half < 2; ++half) {
    w.bits(0, 1);
    w.bits(0, 2);
    w.alignToByte();
    w.bits(0x8000, 16);
    w.bits(0x7FFF, 16);
    for (size_t i = 0; i < 0x8000; ++i) w.byte(data[half * 0x8000 + i]);
  }
  FixedBlock(w, true);
  FixedLitLen(w, 257);  // length 3
  FixedDistance(w, 31);
  w.bits(0xFF, 8);
  w.bits(0x3F, 6);  // distance 65536
  FixedLitLen(w, 256);
  const Decoded decoded = Decode(w.bytes());
  ASSERT_EQ(decoded.result, kInflateOk);
  ASSERT_EQ(decoded.output.size(), kWindowSize + 3u);
  EXPECT_TRUE(std::equal(data.begin(), data.begin() + 3, decoded.output.end() - 3));
}

// The work buffer's tables are rebuilt for every block: a dynamic block after a fixed one and a
// fixed one after a dynamic one decode with their own codes.
TEST(InflateBitStreams, TablesAreRebuiltForEveryBlock) {
  BitWriter w;
  const auto lit = SmallLitLen();
  PlainDynamicHeader(w, false, lit, {1});
  const auto codes = CanonicalCodes(lit);
  w.code(codes['a']);
  w.code(codes[256]);
  FixedBlock(w, false);
  Literals(w, "bc");
  FixedLitLen(w, 256);
  PlainDynamicHeader(w, true, lit, {1});
  w.code(codes['a']);
  w.code(codes[257]);
  w.code(0, 1);
  w.code(codes[256]);
  const Decoded decoded = Decode(w.bytes());
  ASSERT_EQ(decoded.result, kInflateOk);
  EXPECT_TRUE(decoded.output == Str("abcaaaa"));
}

}  // namespace
}  // namespace inflate_test
