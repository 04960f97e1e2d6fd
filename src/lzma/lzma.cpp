// The LZMA decoder: a range decoder over adaptive bit probabilities, a literal coder with a
// context from the previous byte and the position, a length coder, a distance coder and four
// repeated distances, writing into a ring buffer that is the dictionary and the output buffer.
//
// Safety: every distance is checked against what was written and the dictionary before a byte is
// read at it; every length against the room left in the entry; a symbol reads at most
// kMaxSymbolInput bytes, and the input buffer keeps that many readable bytes after its data (zeros
// after the end of the entry's data), so the range decoder needs no check per byte: a symbol that
// went past the real end is caught after it and the entry fails as cut short.
#include "lzma/lzma.h"

#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

#include "report/messages.h"

#define LZMA_INLINE inline __attribute__((always_inline))

namespace {

constexpr unsigned kProbabilityBits = 11;
constexpr uint32_t kProbabilityOne = 1u << kProbabilityBits;
constexpr unsigned kMoveBits = 5;
constexpr uint32_t kTopValue = 1u << 24;

constexpr unsigned kStates = 12;
constexpr unsigned kPositionStatesMax = 16;
constexpr unsigned kLengthStates = 4;
constexpr unsigned kEndPositionModel = 14;
constexpr unsigned kFullDistances = 128;
constexpr unsigned kAlignBits = 4;
constexpr unsigned kMinMatch = 2;
constexpr unsigned kLiteralCoderSize = 0x300;

// Offsets of the probability groups in one array.
constexpr uint32_t kIsMatch = 0;
constexpr uint32_t kIsRep = kIsMatch + kStates * kPositionStatesMax;
constexpr uint32_t kIsRepG0 = kIsRep + kStates;
constexpr uint32_t kIsRepG1 = kIsRepG0 + kStates;
constexpr uint32_t kIsRepG2 = kIsRepG1 + kStates;
constexpr uint32_t kIsRep0Long = kIsRepG2 + kStates;
constexpr uint32_t kPositionSlot = kIsRep0Long + kStates * kPositionStatesMax;
// Distances of slots 4 to 13 are coded whole in reverse bit trees; index 0 is unused.
constexpr uint32_t kSpecialPositions = kPositionSlot + kLengthStates * 64;
constexpr uint32_t kAlign = kSpecialPositions + 1 + kFullDistances - kEndPositionModel;
// A length coder: two choice bits, 16 low trees of 3 bits, 16 middle ones of 3 bits, one high of 8.
constexpr uint32_t kLengthChoice = 0;
constexpr uint32_t kLengthChoice2 = 1;
constexpr uint32_t kLengthLow = 2;
constexpr uint32_t kLengthMid = kLengthLow + kPositionStatesMax * 8;
constexpr uint32_t kLengthHigh = kLengthMid + kPositionStatesMax * 8;
constexpr uint32_t kLengthCoderSize = kLengthHigh + 256;
constexpr uint32_t kMatchLength = kAlign + (1u << kAlignBits);
constexpr uint32_t kRepLength = kMatchLength + kLengthCoderSize;
constexpr uint32_t kLiterals = kRepLength + kLengthCoderSize;

// The most input one symbol takes: one byte per decoded bit at most, and a match has the most
// bits (match and rep flags 2, length 10, slot 6, direct and align bits 26), so 44; the stream's
// first five bytes count as one symbol.
constexpr uint32_t kMaxSymbolInput = 64;

// Decoded bytes go out in pieces of this size, so that progress and the CRC follow closely.
constexpr uint32_t kFlushPiece = 1u << 16;
// The ring is at least this large (when the entry is), so that matches seldom cross its end.
constexpr uint32_t kMinRing = 1u << 18;

constexpr uint32_t kMinDictionary = 4096;

// The four states after a literal in the previous states 0 to 11; after a match, a repeated
// match, a short repeat.
LZMA_INLINE unsigned AfterLiteral(unsigned state) { return state < 4 ? 0 : state < 10 ? state - 3 : state - 6; }
LZMA_INLINE unsigned AfterMatch(unsigned state) { return state < 7 ? 7 : 10; }
LZMA_INLINE unsigned AfterRep(unsigned state) { return state < 7 ? 8 : 11; }
LZMA_INLINE unsigned AfterShortRep(unsigned state) { return state < 7 ? 9 : 11; }

// The range decoder. Kept in locals of the decoding loop; inlined everywhere.
struct RangeDecoder {
  uint32_t range;
  uint32_t code;
  const uint8_t* in;

  LZMA_INLINE void normalize() {
    if (range < kTopValue) {
      range <<= 8;
      code = (code << 8) | *in++;
    }
  }
  LZMA_INLINE unsigned bit(uint16_t* probability) {
    const uint32_t p = *probability;
    const uint32_t bound = (range >> kProbabilityBits) * p;
    unsigned result;
    if (code < bound) {
      range = bound;
      *probability = static_cast<uint16_t>(p + ((kProbabilityOne - p) >> kMoveBits));
      result = 0;
    } else {
      range -= bound;
      code -= bound;
      *probability = static_cast<uint16_t>(p - (p >> kMoveBits));
      result = 1;
    }
    normalize();
    return result;
  }
  // A bit tree of `bits` levels, most significant bit first.
  template <unsigned kBits>
  LZMA_INLINE unsigned tree(uint16_t* probabilities) {
    unsigned m = 1;
    for (unsigned i = 0; i < kBits; ++i) m = (m << 1) | bit(probabilities + m);
    return m - (1u << kBits);
  }
  // A bit tree read least significant bit first.
  LZMA_INLINE unsigned reverseTree(uint16_t* probabilities, unsigned bits) {
    unsigned m = 1;
    unsigned symbol = 0;
    for (unsigned i = 0; i < bits; ++i) {
      const unsigned b = bit(probabilities + m);
      m = (m << 1) | b;
      symbol |= b << i;
    }
    return symbol;
  }
  // Bits of equal probability.
  LZMA_INLINE uint32_t direct(unsigned bits) {
    uint32_t result = 0;
    do {
      range >>= 1;
      code -= range;
      const uint32_t mask = 0u - (code >> 31);  // all ones when the bit is 0
      code += range & mask;
      result = (result << 1) + (mask + 1);
      normalize();
    } while (--bits);
    return result;
  }
  // A length less kMinMatch, 0 to 271.
  LZMA_INLINE unsigned length(uint16_t* coder, unsigned positionState) {
    if (!bit(coder + kLengthChoice)) return tree<3>(coder + kLengthLow + positionState * 8);
    if (!bit(coder + kLengthChoice2)) return 8 + tree<3>(coder + kLengthMid + positionState * 8);
    return 16 + tree<8>(coder + kLengthHigh);
  }
  // The distance less one of a new match whose length less kMinMatch is `length`.
  LZMA_INLINE uint32_t distance(uint16_t* probabilities, unsigned length) {
    const unsigned lengthState = length < kLengthStates - 1 ? length : kLengthStates - 1;
    const unsigned slot = tree<6>(probabilities + kPositionSlot + lengthState * 64);
    if (slot < 4) return slot;
    const unsigned directBits = (slot >> 1) - 1;
    uint32_t result = (2u | (slot & 1)) << directBits;
    if (slot < kEndPositionModel) {
      return result + reverseTree(probabilities + kSpecialPositions + result - slot, directBits);
    }
    result += direct(directBits - kAlignBits) << kAlignBits;
    return result + reverseTree(probabilities + kAlign, kAlignBits);
  }
};

class Decoder {
 public:
  Decoder(uint8_t* input, uint32_t inputSize, InflateIo& io, uint64_t size, bool endMarker)
      : io_(io), input_(input), capacity_(inputSize - kMaxSymbolInput), size_(size), endMarker_(endMarker) {}

  int run();

 private:
  // Returns where the unread input now starts, or null when a symbol took bytes past its end.
  const uint8_t* refill(const uint8_t* in);
  void flush(uint32_t position);
  int decodeStream(const uint8_t* start, uint32_t code);
  int finishWithMarker(RangeDecoder rc, unsigned state, uint32_t position);
  void wrap();
  // Returns the position after the match, or kPastEntryEnd.
  uint32_t copyAcrossEnd(uint32_t position, uint32_t distance, uint32_t length);
  static constexpr uint32_t kPastEntryEnd = 0xFFFFFFFFu;
  void setLimits();

  InflateIo& io_;
  uint8_t* const input_;
  const uint32_t capacity_;  // input bytes held at most; the rest keeps the symbol margin
  const uint64_t size_;
  const bool endMarker_;

  // Input: data in input_[0, dataEnd_); a symbol may start below inLimit_.
  const uint8_t* dataEnd_ = nullptr;
  const uint8_t* inLimit_ = nullptr;
  bool inputEnded_ = false;

  LzmaProperties properties_;
  std::unique_ptr<uint16_t[]> probabilities_;
  std::unique_ptr<uint8_t[]> ring_;
  uint32_t ringSize_ = 0;
  uint32_t distanceLimit_ = 0;  // no distance reaches this far: the dictionary, or the ring
  bool wrapped_ = false;        // the ring was filled once: every byte of it was written
  uint32_t flushed_ = 0;        // ring bytes before this went out
  uint32_t ringBase_ = 0;       // the entry's position of ring byte 0, modulo 2^32
  // Entry bytes the ring still takes from its position 0 on: the rest of the entry, less what
  // the ring held before this round.
  uint64_t roundLeft_ = 0;
  uint32_t hardEnd_ = 0;        // the ring's end or the entry's, whichever comes first
  uint32_t softEnd_ = 0;        // hardEnd_, or where the next piece goes out
};

const uint8_t* Decoder::refill(const uint8_t* in) {
  if (inputEnded_) return nullptr;
  const uint32_t kept = static_cast<uint32_t>(dataEnd_ - in);
  std::memmove(input_, in, kept);
  uint32_t end = kept;
  while (end < capacity_) {
    const uint32_t got = io_.readInput(input_ + end, capacity_ - end);
    if (got == 0 || got > capacity_ - end) {
      inputEnded_ = true;
      break;
    }
    end += got;
  }
  dataEnd_ = input_ + end;
  if (inputEnded_) {
    std::memset(input_ + end, 0, kMaxSymbolInput);
    inLimit_ = dataEnd_ + 1;
  } else {
    inLimit_ = dataEnd_ - kMaxSymbolInput;
  }
  return input_;
}

void Decoder::flush(uint32_t position) {
  if (position > flushed_) io_.writeOutput(ring_.get() + flushed_, position - flushed_);
  flushed_ = position;
}

// The limits of the decoding loop: the ring's end, the entry's, the next piece to go out.
void Decoder::setLimits() {
  hardEnd_ = roundLeft_ < ringSize_ ? static_cast<uint32_t>(roundLeft_) : ringSize_;
  const uint32_t piece = flushed_ + kFlushPiece;
  softEnd_ = piece < hardEnd_ ? piece : hardEnd_;
}

// A match that crosses the ring's end: copied a byte at a time, going out and wrapping at the end.
// kPastEntryEnd when it crosses the entry's end instead.
uint32_t Decoder::copyAcrossEnd(uint32_t position, uint32_t distance, uint32_t length) {
  if (position + static_cast<uint64_t>(length) > roundLeft_) return kPastEntryEnd;
  uint8_t* ring = ring_.get();
  uint32_t from = position >= distance ? position - distance : position + ringSize_ - distance;
  while (length-- > 0) {
    ring[position++] = ring[from++];
    if (from == ringSize_) from = 0;
    if (position == ringSize_) {
      flush(position);
      position = 0;
      flushed_ = 0;
      wrapped_ = true;
      ringBase_ += ringSize_;
      roundLeft_ -= ringSize_;
    }
  }
  setLimits();
  return position;
}

void Decoder::wrap() {
  flushed_ = 0;
  wrapped_ = true;
  ringBase_ += ringSize_;
  roundLeft_ -= ringSize_;
}

// At the entry's end with an end marker due: the next symbol must be that marker, a match of
// distance 2^32 - 1, and the range decoder must then stand at 0.
int Decoder::finishWithMarker(RangeDecoder rc, unsigned state, uint32_t position) {
  uint16_t* const p = probabilities_.get();
  const unsigned positionState = (ringBase_ + position) & ((1u << properties_.pb) - 1);
  if (!rc.bit(p + kIsMatch + state * kPositionStatesMax + positionState)) return kWarnLzmaBadData;
  if (rc.bit(p + kIsRep + state)) return kWarnLzmaBadData;
  const unsigned length = rc.length(p + kMatchLength, positionState);
  const uint32_t distance = rc.distance(p, length);
  if (rc.in > dataEnd_) return kWarnDataEnded;
  if (distance != 0xFFFFFFFFu || rc.code != 0) return kWarnLzmaBadData;
  return kInflateOk;
}

int Decoder::decodeStream(const uint8_t* start, uint32_t code) {
  RangeDecoder rc{0xFFFFFFFFu, code, start};
  uint16_t* const p = probabilities_.get();
  uint16_t* const literals = p + kLiterals;
  uint8_t* const ring = ring_.get();
  const uint32_t ringSize = ringSize_;
  const uint32_t distanceLimit = distanceLimit_;
  const unsigned lc = properties_.lc;
  const uint32_t lpMask = (1u << properties_.lp) - 1;
  const uint32_t pbMask = (1u << properties_.pb) - 1;
  unsigned state = 0;
  uint32_t rep0 = 0, rep1 = 0, rep2 = 0, rep3 = 0;
  uint32_t pos = 0;
  // Copies of members that change only outside the loop's body: the ring's byte stores could
  // otherwise alias them and make the compiler load them again for every symbol.
  const uint8_t* inLimit = inLimit_;
  uint32_t softEnd = softEnd_;
  uint32_t hardEnd = hardEnd_;
  uint32_t ringBase = ringBase_;
  bool wrapped = wrapped_;
  for (;;) {
    if (rc.in >= inLimit) {
      // (The range decoder stays in registers: no address of it leaves this function.)
      rc.in = refill(rc.in);
      if (!rc.in) return kWarnDataEnded;
      inLimit = inLimit_;
    }
    if (pos >= softEnd) {
      flush(pos);
      if (pos == roundLeft_) return endMarker_ ? finishWithMarker(rc, state, pos) : kInflateOk;
      if (pos == ringSize) {
        pos = 0;
        wrap();
      }
      setLimits();
      softEnd = softEnd_;
      hardEnd = hardEnd_;
      ringBase = ringBase_;
      wrapped = wrapped_;
      continue;
    }
    const uint32_t total = ringBase + pos;
    const unsigned positionState = total & pbMask;
    if (!rc.bit(p + kIsMatch + state * kPositionStatesMax + positionState)) {
      const unsigned previous = pos > 0 ? ring[pos - 1] : wrapped ? ring[ringSize - 1] : 0;
      uint16_t* const coder =
          literals + kLiteralCoderSize * (((total & lpMask) << lc) + (previous >> (8 - lc)));
      unsigned symbol = 1;
      if (state < 7) {
        do symbol = (symbol << 1) | rc.bit(coder + symbol); while (symbol < 0x100);
      } else {
        // After a match the literal is coded against the byte at rep0: while their bits agree,
        // each bit has probabilities of its own for a matched bit of 0 and of 1.
        const uint32_t from = pos > rep0 ? pos - rep0 - 1 : pos + ringSize - rep0 - 1;
        unsigned matchByte = ring[from];
        unsigned agree = 0x100;  // 0x100 while the bits agreed, then 0
        do {
          matchByte <<= 1;
          const unsigned matchBit = matchByte & agree;
          const unsigned b = rc.bit(coder + agree + matchBit + symbol);
          symbol = (symbol << 1) | b;
          agree &= b ? matchBit : ~matchBit;
        } while (symbol < 0x100);
      }
      ring[pos++] = static_cast<uint8_t>(symbol);
      state = AfterLiteral(state);
      continue;
    }
    uint32_t length;
    if (rc.bit(p + kIsRep + state)) {
      if (pos == 0 && !wrapped) return kWarnLzmaBadData;  // nothing to repeat yet
      if (!rc.bit(p + kIsRepG0 + state)) {
        if (!rc.bit(p + kIsRep0Long + state * kPositionStatesMax + positionState)) {
          const uint32_t from = pos > rep0 ? pos - rep0 - 1 : pos + ringSize - rep0 - 1;
          ring[pos] = ring[from];
          ++pos;
          state = AfterShortRep(state);
          continue;
        }
      } else {
        uint32_t distance;
        if (!rc.bit(p + kIsRepG1 + state)) {
          distance = rep1;
        } else {
          if (!rc.bit(p + kIsRepG2 + state)) {
            distance = rep2;
          } else {
            distance = rep3;
            rep3 = rep2;
          }
          rep2 = rep1;
        }
        rep1 = rep0;
        rep0 = distance;
      }
      length = rc.length(p + kRepLength, positionState);
      state = AfterRep(state);
    } else {
      rep3 = rep2;
      rep2 = rep1;
      rep1 = rep0;
      length = rc.length(p + kMatchLength, positionState);
      state = AfterMatch(state);
      rep0 = rc.distance(p, length);
      if (rep0 >= distanceLimit || (!wrapped && rep0 >= pos)) {
        if (rc.in > dataEnd_) return kWarnDataEnded;
        // An end marker before the entry's end: the data is shorter than the directory says.
        return rep0 == 0xFFFFFFFFu ? kWarnDataEnded : kWarnLzmaBadData;
      }
    }
    length += kMinMatch;
    const uint32_t distance = rep0 + 1;
    if (length <= hardEnd - pos && pos >= distance) {
      uint8_t* to = ring + pos;
      const uint8_t* from = to - distance;
      pos += length;
      if (distance >= 8) {
        for (; length >= 8; length -= 8, to += 8, from += 8) std::memcpy(to, from, 8);
        while (length-- > 0) *to++ = *from++;
      } else {
        do *to++ = *from++; while (--length);
      }
    } else {
      pos = copyAcrossEnd(pos, distance, length);
      if (pos == kPastEntryEnd) return rc.in > dataEnd_ ? kWarnDataEnded : kWarnLzmaBadData;
      softEnd = softEnd_;
      hardEnd = hardEnd_;
      ringBase = ringBase_;
      wrapped = wrapped_;
    }
  }
}

int Decoder::run() {
  dataEnd_ = input_;
  const uint8_t* in = refill(input_);
  if (dataEnd_ - in < static_cast<ptrdiff_t>(kLzmaHeaderSize + 5)) return kWarnDataEnded;
  if (!ParseLzmaHeader(in, &properties_)) return kWarnLzmaBadData;
  in += kLzmaHeaderSize;

  const uint64_t needed = LzmaNeededDictionary(properties_.dictionarySize, size_);
  if (needed > kLzmaDictionaryLimit) return kWarnLzmaDictionaryTooLarge;
  uint64_t ring = needed < kMinRing ? kMinRing : needed;
  if (ring > size_) ring = size_ > 0 ? size_ : 1;
  ringSize_ = static_cast<uint32_t>(ring);
  distanceLimit_ = properties_.dictionarySize < kMinDictionary ? kMinDictionary : properties_.dictionarySize;
  if (distanceLimit_ > ringSize_) distanceLimit_ = ringSize_;
  const uint32_t count = kLiterals + (kLiteralCoderSize << (properties_.lc + properties_.lp));
  probabilities_.reset(new (std::nothrow) uint16_t[count]);
  ring_.reset(new (std::nothrow) uint8_t[ringSize_]);
  if (!probabilities_ || !ring_) return kWarnLzmaNoMemory;
  for (uint32_t i = 0; i < count; ++i) probabilities_[i] = kProbabilityOne / 2;

  // The stream's first byte is the range encoder's first carry slot, always 0.
  if (in[0] != 0) return kWarnLzmaBadData;
  const uint32_t code = static_cast<uint32_t>(in[1]) << 24 | static_cast<uint32_t>(in[2]) << 16 |
                        static_cast<uint32_t>(in[3]) << 8 | in[4];
  roundLeft_ = size_;
  setLimits();
  return decodeStream(in + 5, code);
}

}  // namespace

bool ParseLzmaHeader(const uint8_t* header, LzmaProperties* properties) {
  const unsigned propertiesSize = header[2] | header[3] << 8;
  unsigned byte = header[4];
  if (propertiesSize != 5 || byte >= 9 * 5 * 5) return false;
  properties->lc = byte % 9;
  byte /= 9;
  properties->lp = byte % 5;
  properties->pb = byte / 5;
  properties->dictionarySize = static_cast<uint32_t>(header[5]) | static_cast<uint32_t>(header[6]) << 8 |
                               static_cast<uint32_t>(header[7]) << 16 | static_cast<uint32_t>(header[8]) << 24;
  return true;
}

uint64_t LzmaNeededDictionary(uint32_t dictionarySize, uint64_t size) {
  const uint64_t dictionary = dictionarySize < kMinDictionary ? kMinDictionary : dictionarySize;
  return dictionary < size ? dictionary : size;
}

uint64_t LzmaMemoryUse(const LzmaProperties& properties, uint64_t size) {
  const uint64_t needed = LzmaNeededDictionary(properties.dictionarySize, size);
  uint64_t ring = needed < kMinRing ? kMinRing : needed;
  if (ring > size) ring = size > 0 ? size : 1;
  return ring + 2 * (kLiterals + (uint64_t{kLiteralCoderSize} << (properties.lc + properties.lp)));
}

int DecodeLzma(uint8_t* input, uint32_t inputSize, InflateIo& io, uint64_t size, bool endMarker) {
  Decoder decoder(input, inputSize, io, size, endMarker);
  return decoder.run();
}
