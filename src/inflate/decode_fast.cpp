// The fast loop of a Huffman block: it runs while the input buffer holds at least kInputMargin
// bytes and the window at least kWindowMargin bytes of room, so that it never needs to ask for
// input, never meets the end of the data and never fills the window with a literal.
//
// Per pass: up to three literals from one branch-free refill to at least 56 bits, or a length and
// a distance, the next code's primary entry fetched before the match is copied. A match whose
// source and destination lie whole in the window is copied in 8-byte words, the others byte by
// byte as the exact path does.
// Once the window has been handed over whole (or in a Deflate stream's first round), a match at
// least 8 bytes back is copied in whole words that may run up to kCopySlack bytes past its end,
// with no branch on its length; Decoder::historyKept_ says how the bytes they overwrite are put
// back before anything reads them. Elsewhere no copy writes past its match.
#include <cstring>

#include "inflate/decoder.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#define VESPA_X86 1
#endif

namespace inflate_detail {

namespace {

// Three refills of up to 7 bytes each between two checks, plus the 8 bytes the last one reads.
constexpr uint32_t kInputMargin = 32;
// Room for three literals without filling the window: a match checks the room it needs itself.
constexpr uint32_t kWindowMargin = 3 + 1;

inline void Copy8(uint8_t* to, const uint8_t* from) { std::memcpy(to, from, 8); }
inline void Copy4(uint8_t* to, const uint8_t* from) { std::memcpy(to, from, 4); }

// A match wholly inside the window: its source before its destination (an overlap repeats the
// pattern), or wholly after its end.
inline void CopyMatch(uint8_t* to, const uint8_t* from, uint32_t length) {
  const uint32_t distance = from < to ? static_cast<uint32_t>(to - from) : 8;
  if (distance >= 8) {
    if (length >= 8) {
      // Each word reads only bytes already final (distance >= 8); the last word ends exactly at
      // the match's end, rewriting some bytes with the values they already hold.
      uint8_t* const end = to + length;
      do {
        Copy8(to, from);
        to += 8;
        from += 8;
      } while (end - to > 8);
      Copy8(end - 8, from + (end - to) - 8);
    } else if (length >= 4) {
      Copy4(to, from);
      Copy4(to + length - 4, from + length - 4);
    } else {
      to[0] = from[0];
      to[1] = from[1];
      to[2] = from[2];
    }
  } else if (distance == 1) {
    std::memset(to, from[0], length);
  } else {
    // A short pattern repeated: byte by byte, so that each copy reads the bytes just written.
    for (uint32_t i = 0; i < length; ++i) to[i] = from[i];
  }
}

// A match whose source lies at least 8 bytes before its destination, in whole words and without a
// branch on its length for most matches: writes up to kCopySlack - 3 bytes past the match's end,
// which the caller has allowed.
inline void CopyPastEnd(uint8_t* to, const uint8_t* from, uint32_t length) {
  Copy8(to, from);
  Copy8(to + 8, from + 8);
  Copy8(to + 16, from + 16);
  for (uint32_t done = 24; done < length; done += 8) Copy8(to + done, from + done);
}

// Shifts and masks by a register cost less with BMI2; the loop is compiled a second time for
// processors that have it, chosen once from what the processor reports.
bool HaveBmi2() {
#ifdef VESPA_X86
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  return __get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) && (ebx & bit_BMI2);
#else
  return false;
#endif
}
const bool kUseBmi2 = HaveBmi2();

}  // namespace

Decoder::BlockEnd Decoder::decodeFast() {
  // Copies past a match's end: see Decoder::historyKept_. They need a kept history, except in a
  // Deflate stream's first round, where the bytes ahead lie before the entry's first byte (in a
  // Deflate64 stream a flush marker could bring them within reach).
  const bool pastEnd = !markerSeen_ && (historyKept_ || (!deflate64_ && filled_ == 0));
  if (pastEnd) aheadAltered_ = true;
#ifdef VESPA_X86
  if (kUseBmi2) return pastEnd ? decodeFastBmi2PastEnd() : decodeFastBmi2();
  // Processors without BMI2 keep the plain copies: one loop less in every program.
  return decodeFastLoop<false, false>();
#else
  return pastEnd ? decodeFastLoop<false, true>() : decodeFastLoop<false, false>();
#endif
}

#ifdef VESPA_X86
__attribute__((target("bmi2"))) Decoder::BlockEnd Decoder::decodeFastBmi2() { return decodeFastLoop<true, false>(); }
__attribute__((target("bmi2"))) Decoder::BlockEnd Decoder::decodeFastBmi2PastEnd() {
  return decodeFastLoop<true, true>();
}
#else
Decoder::BlockEnd Decoder::decodeFastBmi2() { return decodeFastLoop<false, false>(); }
Decoder::BlockEnd Decoder::decodeFastBmi2PastEnd() { return decodeFastLoop<false, true>(); }
#endif

template <bool kBmi2, bool kPastEnd>
inline __attribute__((always_inline)) Decoder::BlockEnd Decoder::decodeFastLoop() {
  if (inputEnd_ - inputPos_ < kInputMargin || writePos_ > kWindowSize - kWindowMargin) return kBlockGoesOn;
  const uint8_t* const input = input_;
  uint8_t* const window = window_;
  const uint32_t* const litLen = litLenTable_;
  const uint32_t* const distances = distanceTable_;
  uint64_t bits = bitBuffer_;
  // Only the low 6 bits of count matter: an entry is subtracted whole (its total bits are its low
  // byte, below 64) and shifts take their count modulo 64, which spares a mask on the path from
  // one lookup to the next.
  uint32_t count = bitCount_;
  // Locals, and pointers rather than positions: the window's bytes may alias anything, so
  // members would be read again after each write, and a position costs an addition per byte.
  const uint8_t* in = input + inputPos_;
  const uint8_t* const inLimit = input + (inputEnd_ - kInputMargin);
  uint8_t* out = window + writePos_;
  uint8_t* const outLimit = window + (kWindowSize - kWindowMargin);
  uint8_t* const windowEnd = window + kWindowSize;
  // See filled_: kept here, and read again after each hand-over.
  uint32_t filled = filled_;
  BlockEnd result = kBlockGoesOn;

  // See RefillBits.
#define VESPA_REFILL() RefillBits(bits, count, in)
  // Follows a subtable pointer: consumes the primary width and looks the rest up.
#define VESPA_SUBTABLE(table, entry)                                                \
  do {                                                                              \
    bits >>= ((entry) & 63);                                                        \
    count -= (entry);                                                               \
    entry = table[EntryValue(entry) + (bits & ((1u << EntryCodeBits(entry)) - 1))]; \
  } while (0)
#define VESPA_CONSUME(n) \
  do {                   \
    bits >>= (n);        \
    count -= (n);        \
  } while (0)
  // Consumes an entry's total bits.
#define VESPA_CONSUME_ENTRY(entry) \
  do {                             \
    bits >>= ((entry) & 63);       \
    count -= (entry);              \
  } while (0)

#define VESPA_ROOM() (in <= inLimit && out <= outLimit)

  // entry holds the primary lit/len entry of the next code, looked up ahead: after a match it is
  // fetched before the copy, so that the lookup overlaps the copy.
  VESPA_REFILL();
  uint32_t entry = litLen[bits & ((1u << kLitLenTableBits) - 1)];
  do {
    if (!(entry & kKindLiteral)) goto notLiteral;
    // Up to three literals from one refill: each code is at most 15 bits. One test per literal:
    // a subtable pointer is not a literal, and is followed below.
    VESPA_CONSUME_ENTRY(entry);
    *out++ = static_cast<uint8_t>(EntryValue(entry));
    entry = litLen[bits & ((1u << kLitLenTableBits) - 1)];
    if (!(entry & kKindLiteral)) goto notLiteral;
    VESPA_CONSUME_ENTRY(entry);
    *out++ = static_cast<uint8_t>(EntryValue(entry));
    entry = litLen[bits & ((1u << kLitLenTableBits) - 1)];
    if (!(entry & kKindLiteral)) goto notLiteral;
    VESPA_CONSUME_ENTRY(entry);
    *out++ = static_cast<uint8_t>(EntryValue(entry));
    goto next;

  notLiteral:
    if (entry & kKindSubtable) {
      VESPA_SUBTABLE(litLen, entry);
      if (entry & kKindLiteral) {
        // A long literal code, at most the third literal of this pass.
        VESPA_CONSUME_ENTRY(entry);
        *out++ = static_cast<uint8_t>(EntryValue(entry));
        goto next;
      }
    }
  {
    // At least 26 bits are left: enough for a length code and its extra bits.
    uint32_t length;
    if (entry & kKindSpecial) {
      const uint32_t kind = EntryKind(entry);
      if (kind == kKindEndOfBlock) {
        VESPA_CONSUME(EntryCodeBits(entry));
        result = kBlockEnded;
        break;
      }
      if (kind == kKindInvalid) {
        // A bit pattern of no code, or a symbol without meaning.
        error_ = kInflateBadTable;
        break;
      }
      // Deflate64's 16-bit length.
      VESPA_REFILL();
      const unsigned total = EntryTotalBits(entry);
      const uint32_t value = static_cast<uint32_t>(LowBits(bits, total) >> EntryCodeBits(entry));
      VESPA_CONSUME(total);
      if (value == 0) {
        // The flush marker: hand over what the window holds and go on at its start.
        writePos_ = static_cast<uint32_t>(out - window);
        flushMarker();
        filled = filled_;
        out = window;
        // No more copies past the end in this entry: the loop starts again without them.
        if (kPastEnd) break;
        goto next;
      }
      length = 3 + value;
    } else {
      const unsigned total = EntryTotalBits(entry);
      length = EntryValue(entry) + static_cast<uint32_t>(LowBits(bits, total) >> EntryCodeBits(entry));
      VESPA_CONSUME(total);
    }

    // At most 50 bits were taken since the last refill (two literals and a length, one of them
    // through a subtable), and above the count the buffer holds the input that follows, up to bit
    // 64 less what was taken: the distance's primary entry need not wait for the refill.
    entry = distances[bits & ((1u << kDistanceTableBits) - 1)];
    VESPA_REFILL();
    if (entry & kKindSubtable) VESPA_SUBTABLE(distances, entry);
    if (entry == kInvalidEntry) {
      error_ = kInflateBadTable;
      break;
    }
    const unsigned total = EntryTotalBits(entry);
    const uint32_t distance =
        EntryValue(entry) + static_cast<uint32_t>(LowBits(bits, total) >> EntryCodeBits(entry));
    VESPA_CONSUME(total);
    // At least 27 bits are left, enough for the primary lookup; the refill can wait.
    entry = litLen[bits & ((1u << kLitLenTableBits) - 1)];

    const uint32_t position = static_cast<uint32_t>(out - window);
    const uint32_t room = kWindowSize - position;
    const uint8_t* from = nullptr;  // where a copy inside the window reads; none: the exact copy
    if (distance <= position) {
      // The source lies behind the destination in this round of the window.
      if (kPastEnd && distance >= 8 && length + kCopySlack <= room) {
        CopyPastEnd(out, out - distance, length);
        out += length;
        VESPA_REFILL();
        continue;  // the slack keeps the match off the window end
      }
      if (length <= room) from = out - distance;
    } else {
      // Window bytes this entry never wrote hold another entry's data, or nothing: a stream
      // that reaches them is damaged, and must not bring those bytes into this file.
      if (ReachesUnwritten(filled, distance, position, length)) {
        error_ = kInflateBadTable;
        break;
      }
      if (kPastEnd && distance > kWindowSize - kCopySlack) putBackAhead(position);
      // The source lies in the window's previous round: copied inside the window when it lies
      // wholly after the match's destination and before the window end, so the two do not overlap.
      if (length <= room && distance - position >= length && distance <= kWindowSize - length) {
        from = windowEnd - (distance - position);
      }
    }
    if (from) {
      CopyMatch(out, from, length);
      out += length;
    } else {
      writePos_ = position;
      copyMatchExact(distance, length);
      filled = filled_;
      out = window + writePos_;
    }
    if (out == windowEnd) {
      writePos_ = kWindowSize;
      flushWindow();
      filled = filled_;
      out = window;
    }
    VESPA_REFILL();
    continue;
  }
  next:
    if (!VESPA_ROOM()) break;
    // At least 11 bits are left (at most three codes of 15 bits, or Deflate64's 31-bit length, since
    // the last refill): the next primary lookup need not wait for the refill.
    entry = litLen[bits & ((1u << kLitLenTableBits) - 1)];
    VESPA_REFILL();
  } while (VESPA_ROOM());
#undef VESPA_ROOM
#undef VESPA_REFILL
#undef VESPA_SUBTABLE
#undef VESPA_CONSUME
#undef VESPA_CONSUME_ENTRY

  bitBuffer_ = bits;
  bitCount_ = count & 63;
  inputPos_ = static_cast<uint32_t>(in - input);
  writePos_ = static_cast<uint32_t>(out - window);
  // Back to the exact path's look-ahead byte; the margin guarantees the bytes are in the buffer.
  while (bitCount_ < 8) loadByte();
  return result;
}

}  // namespace inflate_detail
