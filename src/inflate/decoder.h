// The decoder's state and its two speeds. Internal to inflate/.
//
// The bit reader keeps up to 63 unconsumed input bits in a 64-bit buffer, least significant first.
// Two paths share it:
//   - the fast loop (decode_fast.cpp) runs while the input buffer holds plenty of bytes and the
//     window plenty of room: it refills eight bytes at a time without branches, decodes several
//     literals per refill and copies matches in words;
//   - the exact path (inflate.cpp) takes over near the edges, one byte and one symbol at a time.
//     It loads a byte only when fewer than 8 bits would be left, so that input requests, filler
//     bytes and the count of empty refills fall exactly where a byte-at-a-time reader with one
//     look-ahead byte has them: errors 10, 11 and 12 come under the same conditions, whichever
//     path met them.
#pragma once

#include <cstdint>
#include <cstring>

#include "inflate/huffman.h"
#include "inflate/inflate.h"

namespace inflate_detail {

constexpr uint32_t kWindowSize = kInflateWindowSize;
constexpr uint32_t kWindowMask = kWindowSize - 1;
// How far past a match's end the fast loop's word copies may write.
constexpr uint32_t kCopySlack = 24;

inline uint64_t Load64(const uint8_t* bytes) {
  uint64_t value;
  std::memcpy(&value, bytes, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  value = __builtin_bswap64(value);
#endif
  return value;
}

inline uint64_t LowBits(uint64_t bits, unsigned count) { return bits & ((uint64_t{1} << count) - 1); }

// Refills a 64-bit bit buffer to at least 56 bits, eight bytes read at `in` and no branch; only
// the low 6 bits of count matter. Above the count the buffer then holds the input that follows,
// to bit 63 (the low bits of the byte at `in`); the next refill or load puts the very same bits
// there. Taking n bits leaves that input up to bit 63 - n, so a lookup may run ahead of the next
// refill while what was taken and what it looks at fit in 64 bits. The caller keeps 8 bytes of
// input at `in`.
inline void RefillBits(uint64_t& bits, uint32_t& count, const uint8_t*& in) {
  bits |= Load64(in) << (count & 63);
  in += (~count & 63) >> 3;
  count |= 56;
}

class Decoder {
 public:
  Decoder(const InflateBuffers& buffers, InflateIo& io, int deflate64);
  int run();

 private:
  enum BlockEnd { kBlockGoesOn, kBlockEnded };

  // Input, exact path.
  void refillInput();
  uint8_t nextByte();
  void loadByte();
  void need(unsigned count);
  void drop(unsigned count);
  uint32_t takeBits(unsigned count);
  uint32_t decodeExact(const uint32_t* table, unsigned rootBits);

  // Output.
  void putByte(uint8_t byte);
  void copyMatchExact(uint32_t distance, uint32_t length);
  void flushWindow();
  void writePending();
  void flushMarker();
  void restoreAhead();
  void putBackAhead(uint32_t position);

  // Blocks.
  int copyStoredBlock();
  int readBlockTables();
  int buildFixedTables();
  int readDynamicTables();
  // A dynamic header's bits: from the exact path, or from a 64-bit buffer when the input buffer
  // holds the longest header.
  class ExactBits;
  class FastBits;
  // Inlined, so that the fast reader's state stays in registers: the stores of the lengths could
  // otherwise alias it.
  template <class Bits>
  __attribute__((always_inline)) inline int readDynamicTablesWith(Bits& bits);
  void decodeHuffmanBlock();
  BlockEnd decodeFast();
  // The loop's body, inlined into decodeFast and into the two loops compiled for BMI2, with and
  // without copies past a match's end. (Separate functions: a target attribute is lost on a
  // template.)
  template <bool kBmi2, bool kPastEnd>
  __attribute__((always_inline)) inline BlockEnd decodeFastLoop();
  BlockEnd decodeFastBmi2();
  BlockEnd decodeFastBmi2PastEnd();
  bool decodeOneExact();
  int build(TableKind kind, const uint8_t* lengths, uint32_t count, uint32_t* table);

  InflateIo& io_;
  const bool deflate64_;
  uint8_t* const input_;
  const uint32_t inputSize_;
  uint8_t* const window_;
  uint32_t* const litLenTable_;
  uint32_t* const distanceTable_;
  uint32_t* const codeLengthTable_;
  uint8_t* const lengths_;
  uint8_t* const history_;

  uint64_t bitBuffer_ = 0;
  unsigned bitCount_ = 0;  // valid bits in bitBuffer_; the bits above them may hold a copy of
                           // the next input byte's low bits, never anything else
  uint32_t inputPos_ = 0;
  uint32_t inputEnd_ = 0;
  uint32_t writePos_ = 0;
  // Window positions [0, filled_) hold bytes of this entry from an earlier round: all of them once
  // the window was handed over whole, else as far as writing got before a Deflate64 flush marker
  // sent it back to the window start. A match may read those and the bytes written since: every
  // other window byte is another entry's, or nothing, and must not reach this file.
  uint32_t filled_ = 0;
  int error_ = kInflateOk;
  int emptyRefills_ = 0;
  // Filler bytes handed out. The reader keeps one byte of look-ahead, so a stream that ends with
  // its data takes one; a second means filler bits were decoded as if they were data.
  uint32_t fillers_ = 0;
  bool storedDataEnded_ = false;
  bool fixedTablesBuilt_ = false;

  // Word copies past a match's end (decode_fast.cpp) overwrite up to kCopySlack bytes just ahead
  // of the write position: the window's oldest bytes, which only a distance of more than
  // kWindowSize - kCopySlack reads. Such a match first puts them back from history_, the window as
  // last handed over whole (a rare match: distance symbol 31 with nearly all its extra bits set).
  //
  // The invariant, at every step of both paths: the bytes from the write position to kCopySlack
  // past it are either what the ring holds for them (the previous round's bytes) or aheadAltered_
  // is set. Only the fast loop alters them, and it sets the flag on entry; only restoreAhead clears
  // it, having put them back. A hand-over of the whole window leaves the flag alone: the loop may
  // go on copying past a match's end over the new round's bytes ahead, and the next symbol the
  // exact path decodes, or a flush marker, must still find them put back. history_ holds those
  // bytes for any round after the first whole hand-over; before it they lie where no match may
  // reach (see filled_), and a Deflate64 flush marker puts them back and ends the copies past the
  // end for the rest of the entry, since from then on the bytes ahead are this entry's newer ones.
  bool historyKept_ = false;   // history_ holds the window as this round began
  bool aheadAltered_ = false;  // bytes ahead of the write position may differ from history_
  bool markerSeen_ = false;    // a Deflate64 flush marker came: no copies past the end from then on

  // Whether a match may read its bytes (see filled_); the caller knows distance > writePos_.
  static bool ReachesUnwritten(uint32_t filled, uint32_t distance, uint32_t position, uint32_t length) {
    return filled < kWindowSize && kWindowSize - (distance - position) + length > filled;
  }
};

}  // namespace inflate_detail
