// The Deflate and Deflate64 decoder: block loop, headers, stored blocks and the exact path of the
// Huffman blocks, one byte and one symbol at a time; decode_fast.cpp has the fast loop.
//
// Every value that comes from the compressed data is bounded before it indexes anything: table
// lookups take at most the table's width, subtable indexes stay inside what the builder handed
// out, window positions wrap at the window size, and lengths fill only the room the header has.
#include "inflate/inflate.h"

#include <cstring>

#include "inflate/decoder.h"

namespace inflate_detail {

namespace {

// After the compressed data is used up the reader hands out this byte, and counts the refills that
// found nothing; once more than six have come back empty when a symbol is due, the data has ended.
constexpr uint8_t kFillerByte = 0;
constexpr int kMaxEmptyRefills = 6;

constexpr unsigned kLitLenFixedCount = 288;
constexpr unsigned kDistanceFixedCount = 32;
constexpr unsigned kCodeLengthCount = 19;
// The order in which a dynamic header gives the lengths of the code-length code.
constexpr uint8_t kCodeLengthOrder[kCodeLengthCount] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5,
                                                        11, 4, 12, 3, 13, 2, 14, 1, 15};

enum BlockType { kStored = 0, kFixed = 1, kDynamic = 2, kReserved = 3 };

uint32_t* Entries(uint8_t* work, uint32_t offset) { return reinterpret_cast<uint32_t*>(work + offset); }

// The longest dynamic header: 14 bits of counts, 19 code-length-code lengths of 3 bits, and at
// most 320 code-length codes of up to 7 bits with up to 7 extra bits each; then the 8 bytes a
// refill reads.
constexpr uint32_t kHeaderInputMargin = (14 + 19 * 3 + 320 * 14) / 8 + 1 + 8;

}  // namespace

Decoder::Decoder(const InflateBuffers& buffers, InflateIo& io, int deflate64)
    : io_(io),
      deflate64_(deflate64 != 0),
      input_(buffers.input),
      inputSize_(buffers.inputSize),
      window_(buffers.window),
      litLenTable_(Entries(buffers.work, kLitLenTableOffset)),
      distanceTable_(Entries(buffers.work, kDistanceTableOffset)),
      codeLengthTable_(Entries(buffers.work, kCodeLengthTableOffset)),
      lengths_(buffers.work + kLengthsOffset),
      history_(buffers.work + kHistoryOffset) {}

void Decoder::refillInput() {
  if (emptyRefills_ > 0) {
    ++emptyRefills_;
    return;
  }
  uint32_t got = io_.readInput(input_, inputSize_);
  if (got > inputSize_) got = inputSize_;
  inputPos_ = 0;
  inputEnd_ = got;
  if (got == 0) emptyRefills_ = 1;
}

uint8_t Decoder::nextByte() {
  if (inputPos_ == inputEnd_) {
    refillInput();
    if (inputPos_ == inputEnd_) {
      ++fillers_;
      return kFillerByte;
    }
  }
  return input_[inputPos_++];
}

// Called with at most 56 valid bits. Whatever lies above them is replaced.
void Decoder::loadByte() {
  const uint64_t byte = nextByte();
  bitBuffer_ = LowBits(bitBuffer_, bitCount_) | byte << bitCount_;
  bitCount_ += 8;
}

void Decoder::need(unsigned count) {
  while (bitCount_ < count) loadByte();
}

// Keeps the look-ahead byte: at least 8 bits stay loaded after every step of the exact path.
void Decoder::drop(unsigned count) {
  bitBuffer_ >>= count;
  bitCount_ -= count;
  while (bitCount_ < 8) loadByte();
}

uint32_t Decoder::takeBits(unsigned count) {
  need(count);
  const uint32_t value = static_cast<uint32_t>(LowBits(bitBuffer_, count));
  drop(count);
  return value;
}

// The next code's entry, its code bits consumed (its extra bits are the caller's). Loads a byte
// only when the bits in hand cannot decide the code; a pattern of no code is kInvalidEntry, with
// nothing consumed.
uint32_t Decoder::decodeExact(const uint32_t* table, unsigned rootBits) {
  for (;;) {
    const uint64_t bits = LowBits(bitBuffer_, bitCount_);
    uint32_t entry = table[bits & ((1u << rootBits) - 1)];
    unsigned decidedBy = rootBits;
    unsigned codeBits = EntryCodeBits(entry);
    if (EntryKind(entry) == kKindSubtable) {
      const unsigned subBits = EntryCodeBits(entry);
      entry = table[EntryValue(entry) + ((bits >> rootBits) & ((1u << subBits) - 1))];
      decidedBy = rootBits + subBits;
      codeBits = rootBits + EntryCodeBits(entry);
    }
    if (entry == kInvalidEntry) {
      if (decidedBy <= bitCount_) return entry;
    } else if (codeBits <= bitCount_) {
      drop(codeBits);
      return entry;
    }
    loadByte();
  }
}

void Decoder::flushWindow() {
  io_.writeOutput(window_, kWindowSize);
  // Whole, the window holds exactly what was decoded: any bytes a copy wrote past its match's end
  // have been written again since. Kept for the next round's copies past the end.
  std::memcpy(history_, window_, kWindowSize);
  historyKept_ = true;
  filled_ = kWindowSize;
  writePos_ = 0;
}

void Decoder::writePending() {
  if (writePos_ > 0) io_.writeOutput(window_, writePos_);
  if (writePos_ > filled_) filled_ = writePos_;
  writePos_ = 0;
}

// Deflate64's flush marker: from here on the bytes ahead of the write position are this round's
// own, which history_ does not hold, so they are put back now and stay untouched.
void Decoder::flushMarker() {
  restoreAhead();
  markerSeen_ = true;
  writePending();
}

// Puts back the bytes just ahead of the write position that a copy past a match's end may have
// overwritten, before a match that reads them. Without a kept history the copies ran before the
// entry's first whole hand-over of a Deflate stream, and those bytes were never written by this
// entry, where no match may reach: nothing to put back.
void Decoder::restoreAhead() {
  if (!aheadAltered_) return;
  aheadAltered_ = false;
  putBackAhead(writePos_);
}

void Decoder::putBackAhead(uint32_t position) {
  if (!historyKept_) return;
  const uint32_t count = kWindowSize - position < kCopySlack ? kWindowSize - position : kCopySlack;
  std::memcpy(window_ + position, history_ + position, count);
}

void Decoder::putByte(uint8_t byte) {
  window_[writePos_++] = byte;
  if (writePos_ == kWindowSize) flushWindow();
}

// The window is a ring: a distance reaching before the window start continues from its end (the
// callers have checked that the match reads only bytes of this entry, see filled_).
// Byte by byte on purpose: an overlapping match repeats its pattern, and the window is handed
// over the moment it is full.
void Decoder::copyMatchExact(uint32_t distance, uint32_t length) {
  uint32_t source = (writePos_ + kWindowSize - distance) & kWindowMask;
  while (length--) {
    window_[writePos_++] = window_[source];
    source = (source + 1) & kWindowMask;
    if (writePos_ == kWindowSize) flushWindow();
  }
}

int Decoder::copyStoredBlock() {
  drop(bitCount_ % 8);  // to the byte boundary
  // Whole bytes still in the bit buffer come first, then the input buffer.
  auto rawByte = [this]() -> uint32_t {
    if (bitCount_ < 8) return nextByte();
    const uint32_t byte = static_cast<uint32_t>(bitBuffer_ & 0xFF);
    bitBuffer_ >>= 8;
    bitCount_ -= 8;
    return byte;
  };
  uint32_t length = rawByte();
  length |= rawByte() << 8;
  uint32_t check = rawByte();
  check |= rawByte() << 8;
  if (length != (~check & 0xFFFF)) {
    error_ = kInflateBadTable;
    return 1;
  }
  while (length > 0 && bitCount_ >= 8) {
    putByte(static_cast<uint8_t>(rawByte()));
    --length;
  }
  while (length > 0) {
    if (inputPos_ == inputEnd_) {
      refillInput();
      if (inputPos_ == inputEnd_) {
        // The entry's data ends inside the block: what arrived is kept, and the CRC check tells.
        storedDataEnded_ = true;
        return 0;
      }
    }
    uint32_t n = length;
    if (n > inputEnd_ - inputPos_) n = inputEnd_ - inputPos_;
    if (n > kWindowSize - writePos_) n = kWindowSize - writePos_;
    std::memcpy(window_ + writePos_, input_ + inputPos_, n);
    inputPos_ += n;
    writePos_ += n;
    length -= n;
    if (writePos_ == kWindowSize) flushWindow();
  }
  if (bitCount_ == 0) {
    bitBuffer_ = nextByte();
    bitCount_ = 8;
  }
  return 0;
}

int Decoder::build(TableKind kind, const uint8_t* lengths, uint32_t count, uint32_t* table) {
  if (BuildTable(kind, lengths, count, table)) {
    error_ = kInflateBadTable;
    return 1;
  }
  return 0;
}

class Decoder::ExactBits {
 public:
  explicit ExactBits(Decoder& decoder) : decoder_(decoder) {}
  uint32_t take(unsigned count) { return decoder_.takeBits(count); }
  uint32_t decodeCodeLength() { return decoder_.decodeExact(decoder_.codeLengthTable_, kCodeLengthTableBits); }

 private:
  Decoder& decoder_;
};

// With the longest header in the input buffer no refill and no filler byte can come while it is
// read: its bits are taken from a 64-bit buffer refilled eight bytes at a time, as in the fast
// loop, and the exact path's state is restored after it.
class Decoder::FastBits {
 public:
  explicit FastBits(Decoder& decoder)
      : decoder_(decoder), bits_(decoder.bitBuffer_), count_(decoder.bitCount_), in_(decoder.input_ + decoder.inputPos_) {}
  uint32_t take(unsigned count) {
    refill();
    const uint32_t value = static_cast<uint32_t>(LowBits(bits_, count));
    consume(count);
    return value;
  }
  // Code-length codes are at most 7 bits: the primary table decides them all.
  uint32_t decodeCodeLength() {
    refill();
    const uint32_t entry = decoder_.codeLengthTable_[bits_ & ((1u << kCodeLengthTableBits) - 1)];
    if (entry != kInvalidEntry) consume(EntryCodeBits(entry));
    return entry;
  }
  void finish() {
    decoder_.bitBuffer_ = bits_;
    decoder_.bitCount_ = count_;
    decoder_.inputPos_ = static_cast<uint32_t>(in_ - decoder_.input_);
    while (decoder_.bitCount_ < 8) decoder_.loadByte();
  }

 private:
  void refill() { RefillBits(bits_, count_, in_); }
  void consume(unsigned count) {
    bits_ >>= count;
    count_ -= count;
  }

  Decoder& decoder_;
  uint64_t bits_;
  uint32_t count_;
  const uint8_t* in_;
};

int Decoder::readDynamicTables() {
  if (inputEnd_ - inputPos_ >= kHeaderInputMargin) {
    FastBits bits(*this);
    const int failed = readDynamicTablesWith(bits);
    bits.finish();
    return failed;
  }
  ExactBits bits(*this);
  return readDynamicTablesWith(bits);
}

template <class Bits>
inline __attribute__((always_inline)) int Decoder::readDynamicTablesWith(Bits& bits) {
  fixedTablesBuilt_ = false;
  const uint32_t litLenCount = bits.take(5) + 257;
  const uint32_t distanceCount = bits.take(5) + 1;
  const uint32_t codeLengthCodes = bits.take(4) + 4;

  uint8_t codeLengthLengths[kCodeLengthCount] = {};
  for (uint32_t i = 0; i < codeLengthCodes; ++i) {
    codeLengthLengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(bits.take(3));
  }
  if (build(TableKind::kCodeLength, codeLengthLengths, kCodeLengthCount, codeLengthTable_)) return 1;

  // One run of lengths for both codes: repeats may cross from the lit/len lengths into the
  // distance lengths, but never past the count the header gave.
  const uint32_t total = litLenCount + distanceCount;
  uint32_t filled = 0;
  while (filled < total) {
    const uint32_t entry = bits.decodeCodeLength();
    if (entry == kInvalidEntry) {
      error_ = kInflateBadTable;
      return 1;
    }
    const uint32_t symbol = EntryValue(entry);
    if (symbol < 16) {
      lengths_[filled++] = static_cast<uint8_t>(symbol);
      continue;
    }
    uint8_t value = 0;
    uint32_t repeat;
    if (symbol == 16) {
      if (filled == 0) {
        error_ = kInflateBadTable;
        return 1;
      }
      value = lengths_[filled - 1];
      repeat = 3 + bits.take(2);
    } else if (symbol == 17) {
      repeat = 3 + bits.take(3);
    } else {
      repeat = 11 + bits.take(7);
    }
    if (repeat > total - filled) {
      error_ = kInflateBadTable;
      return 1;
    }
    std::memset(lengths_ + filled, value, repeat);
    filled += repeat;
  }

  if (build(deflate64_ ? TableKind::kLitLen64 : TableKind::kLitLen, lengths_, litLenCount, litLenTable_)) {
    return 1;
  }
  return build(TableKind::kDistance, lengths_ + litLenCount, distanceCount, distanceTable_);
}

int Decoder::readBlockTables() {
  const uint32_t type = takeBits(2);
  if (type == kReserved) {
    error_ = kInflateBadBlockType;
    return 1;
  }
  return type == kDynamic ? readDynamicTables() : buildFixedTables();
}

// The fixed code; its tables stay valid until a dynamic block overwrites them.
int Decoder::buildFixedTables() {
  if (fixedTablesBuilt_) return 0;
  std::memset(lengths_, 8, 144);
  std::memset(lengths_ + 144, 9, 256 - 144);
  std::memset(lengths_ + 256, 7, 280 - 256);
  std::memset(lengths_ + 280, 8, kLitLenFixedCount - 280);
  if (build(deflate64_ ? TableKind::kLitLen64 : TableKind::kLitLen, lengths_, kLitLenFixedCount, litLenTable_)) {
    return 1;
  }
  std::memset(lengths_, 5, kDistanceFixedCount);
  if (build(TableKind::kDistance, lengths_, kDistanceFixedCount, distanceTable_)) return 1;
  fixedTablesBuilt_ = true;
  return 0;
}

// One symbol of a Huffman block, and its match. False when the block has ended or an error stopped
// it.
bool Decoder::decodeOneExact() {
  if (emptyRefills_ > kMaxEmptyRefills) {
    error_ = kInflateDataEnded;
    return false;
  }
  uint32_t entry = decodeExact(litLenTable_, kLitLenTableBits);
  switch (EntryKind(entry)) {
    case kKindLiteral:
      putByte(static_cast<uint8_t>(EntryValue(entry)));
      return true;
    case kKindEndOfBlock:
      return false;
    case kKindInvalid:
      // A bit pattern of no code, and the two symbols the format leaves without meaning, are damage.
      error_ = kInflateBadTable;
      return false;
    default:
      break;
  }
  uint32_t length;
  if (EntryKind(entry) == kKindLength64) {
    const uint32_t value = takeBits(16);
    if (value == 0) {
      // The flush marker: hand over what the window holds and go on at its start.
      flushMarker();
      return true;
    }
    length = 3 + value;
  } else {
    length = EntryValue(entry) + takeBits(EntryExtraBits(entry));
  }

  entry = decodeExact(distanceTable_, kDistanceTableBits);
  if (entry == kInvalidEntry) {
    error_ = kInflateBadTable;
    return false;
  }
  const uint32_t distance = EntryValue(entry) + takeBits(EntryExtraBits(entry));
  if (distance > writePos_ && ReachesUnwritten(filled_, distance, writePos_, length)) {
    error_ = kInflateBadTable;
    return false;
  }
  if (distance > kWindowSize - kCopySlack) restoreAhead();
  copyMatchExact(distance, length);
  return true;
}

void Decoder::decodeHuffmanBlock() {
  for (;;) {
    if (decodeFast() == kBlockEnded || error_) return;
    if (!decodeOneExact()) return;
  }
}

int Decoder::run() {
  refillInput();
  if (inputPos_ == inputEnd_) return kInflateOk;  // no compressed data: nothing to decode
  bitBuffer_ = input_[inputPos_++];
  bitCount_ = 8;

  for (;;) {
    const bool finalBlock = takeBits(1) != 0;
    if ((bitBuffer_ & 3) == kStored) {
      drop(2);
      copyStoredBlock();
    } else if (readBlockTables() == 0) {
      decodeHuffmanBlock();
    }
    if (finalBlock || error_ || storedDataEnded_) break;
  }
  // Zero filler bits can complete a code, and even end the last block: data that ran out inside
  // a Huffman block has ended early, however its filler decoded.
  if (!error_ && !storedDataEnded_ && fillers_ > 1) error_ = kInflateDataEnded;
  // On an error the bytes since the last flush are dropped.
  if (error_) return error_;
  writePending();
  return kInflateOk;
}

}  // namespace inflate_detail

int Inflate(const InflateBuffers& buffers, InflateIo& io, int deflate64) {
  inflate_detail::Decoder decoder(buffers, io, deflate64);
  return decoder.run();
}
