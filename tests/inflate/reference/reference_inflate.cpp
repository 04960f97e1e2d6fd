// The byte-at-a-time decoder that the fast one replaced, kept as the reference of its
// behaviour: the differential tests hold the two to the same output, flushes and error codes.
//
// Its own description:
// The Deflate and Deflate64 decoder: block loop, bit reader, stored blocks, Huffman blocks and the
// window, which is the output buffer as well as the history that matches copy from.
//
// Every value that comes from the compressed data is bounded before it indexes anything: table
// lookups take 8 bits, tree steps follow only pairs the table builder handed out, window positions
// wrap at the window size, and lengths fill only the room the header has.
#include "inflate/inflate.h"

#include <cstring>

#include "reference_huffman.h"
#include "reference_inflate.h"

namespace {

using namespace inflate_reference;

constexpr uint32_t kWindowSize = kInflateWindowSize;
constexpr uint32_t kWindowMask = kWindowSize - 1;
// After the compressed data is used up the reader hands out this byte, and counts the refills that
// found nothing; once more than six have come back empty when a symbol is due, the data has ended.
constexpr uint8_t kFillerByte = 0;
constexpr int kMaxEmptyRefills = 6;
// A tree walk past this many steps would be a code longer than 15 bits; the builder makes none.
constexpr unsigned kMaxTreeSteps = kMaxCodeLength - kPrimaryBits;

constexpr unsigned kEndOfBlock = 256;
constexpr unsigned kLastLengthSymbol = 285;  // 286 and 287 have codes in the fixed code but no meaning
constexpr unsigned kLitLenFixedCount = 288;
constexpr unsigned kDistanceFixedCount = 32;
constexpr unsigned kCodeLengthCount = 19;
// The order in which a dynamic header gives the lengths of the code-length code.
constexpr uint8_t kCodeLengthOrder[kCodeLengthCount] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5,
                                                        11, 4, 12, 3, 13, 2, 14, 1, 15};

enum BlockType { kStored = 0, kFixed = 1, kDynamic = 2, kReserved = 3 };

class Decoder {
 public:
  Decoder(const InflateBuffers& buffers, InflateIo& io, int deflate64)
      : io_(io),
        deflate64_(deflate64 != 0),
        input_(buffers.input),
        inputSize_(buffers.inputSize),
        window_(buffers.window),
        litLenLengths_(buffers.work + kLitLenLengthsOffset),
        distanceLengths_(buffers.work + kDistanceLengthsOffset),
        codes_(Entries(buffers.work, kCodesOffset)),
        codeLengthTable_{Entries(buffers.work, kCodeLengthTableOffset), nullptr, 0},
        litLenTable_{Entries(buffers.work, kLitLenTableOffset), Entries(buffers.work, kLitLenTreeOffset),
                     kLitLenTreeEntries},
        distanceTable_{Entries(buffers.work, kDistanceTableOffset), Entries(buffers.work, kDistanceTreeOffset),
                       kDistanceTreeEntries} {}

  int run();

 private:
  static uint16_t* Entries(uint8_t* work, uint32_t offset) {
    return reinterpret_cast<uint16_t*>(work + offset);
  }

  // Input.
  void refillInput();
  uint8_t nextByte();
  // The bit buffer always holds one whole look-ahead byte above the bitCount_ leftover bits of the
  // byte before it, so its low 8 bits are valid for a table lookup at any time.
  void consume(unsigned count);  // count <= 8
  uint32_t takeBits(unsigned count);  // count <= 16

  // Output.
  void putByte(uint8_t byte);
  void copyMatch(uint32_t distance, uint32_t length);
  void flushWindow();
  void writePending();

  // Blocks.
  int copyStoredBlock();
  int readBlockTables();
  int readDynamicLengths();
  void decodeHuffmanBlock();
  uint16_t decodeSymbol(const HuffmanTable& table);
  int build(uint32_t count, const uint8_t* lengths, const HuffmanTable& table);

  InflateIo& io_;
  const bool deflate64_;
  uint8_t* const input_;
  const uint32_t inputSize_;
  uint8_t* const window_;
  uint8_t* const litLenLengths_;
  uint8_t* const distanceLengths_;
  uint16_t* const codes_;
  const HuffmanTable codeLengthTable_;
  const HuffmanTable litLenTable_;
  const HuffmanTable distanceTable_;

  uint32_t bitBuffer_ = 0;
  unsigned bitCount_ = 0;
  uint32_t inputPos_ = 0;
  uint32_t inputEnd_ = 0;
  uint32_t writePos_ = 0;
  // Window positions [0, filled_) hold bytes of this entry from an earlier round: all of them once
  // the window was handed over whole, else as far as writing got before a flush marker sent it
  // back to the window start. A match may read those and the bytes written since, nothing else.
  uint32_t filled_ = 0;
  int error_ = kInflateOk;
  int emptyRefills_ = 0;
  // Filler bytes handed out. The reader keeps one byte of look-ahead, so a stream that ends with
  // its data takes one; a second means filler bits were decoded as if they were data.
  uint32_t fillers_ = 0;
  bool storedDataEnded_ = false;
};

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

void Decoder::consume(unsigned count) {
  if (bitCount_ >= count) {
    bitBuffer_ >>= count;
    bitCount_ -= count;
    return;
  }
  bitBuffer_ >>= bitCount_;
  bitBuffer_ |= static_cast<uint32_t>(nextByte()) << 8;
  bitBuffer_ >>= count - bitCount_;
  bitCount_ = bitCount_ + 8 - count;
}

uint32_t Decoder::takeBits(unsigned count) {
  if (count > 8) {
    const uint32_t low = takeBits(8);
    return low | (takeBits(count - 8) << 8);
  }
  const uint32_t value = bitBuffer_ & ((1u << count) - 1);
  consume(count);
  return value;
}

void Decoder::flushWindow() {
  io_.writeOutput(window_, kWindowSize);
  filled_ = kWindowSize;
  writePos_ = 0;
}

void Decoder::writePending() {
  if (writePos_ > 0) io_.writeOutput(window_, writePos_);
  if (writePos_ > filled_) filled_ = writePos_;
  writePos_ = 0;
}

void Decoder::putByte(uint8_t byte) {
  window_[writePos_++] = byte;
  if (writePos_ == kWindowSize) flushWindow();
}

// The window is a ring: a distance reaching before the window start continues from its end. The
// caller has checked that it stays within this entry's own output.
void Decoder::copyMatch(uint32_t distance, uint32_t length) {
  uint32_t source = (writePos_ + kWindowSize - distance) & kWindowMask;
  if (source + length < kWindowSize && writePos_ + length < kWindowSize) {
    // Byte by byte on purpose: an overlapping match repeats its pattern.
    uint8_t* to = window_ + writePos_;
    const uint8_t* from = window_ + source;
    for (uint32_t i = 0; i < length; ++i) to[i] = from[i];
    writePos_ += length;
    return;
  }
  while (length--) {
    window_[writePos_++] = window_[source];
    source = (source + 1) & kWindowMask;
    if (writePos_ == kWindowSize) flushWindow();
  }
}

int Decoder::copyStoredBlock() {
  consume(bitCount_);  // to the byte boundary; the look-ahead byte is LEN's low byte
  uint32_t length = bitBuffer_ & 0xFF;
  length |= static_cast<uint32_t>(nextByte()) << 8;
  uint32_t check = nextByte();
  check |= static_cast<uint32_t>(nextByte()) << 8;
  if (length != (~check & 0xFFFF)) {
    error_ = kInflateBadTable;
    return 1;
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
  bitBuffer_ = nextByte();
  bitCount_ = 0;
  return 0;
}

int Decoder::build(uint32_t count, const uint8_t* lengths, const HuffmanTable& table) {
  if (BuildHuffmanTable(count, lengths, codes_, table)) {
    error_ = kInflateBadTable;
    return 1;
  }
  return 0;
}

int Decoder::readDynamicLengths() {
  const uint32_t litLenCount = takeBits(5) + 257;
  const uint32_t distanceCount = takeBits(5) + 1;
  const uint32_t codeLengthCodes = takeBits(4) + 4;

  // The code-length code's own lengths wait in the distance-length area, unused until later.
  uint8_t* codeLengthLengths = distanceLengths_;
  std::memset(codeLengthLengths, 0, kCodeLengthCount);
  for (uint32_t i = 0; i < codeLengthCodes; ++i) {
    codeLengthLengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(takeBits(3));
  }
  if (build(kCodeLengthCount, codeLengthLengths, codeLengthTable_)) return 1;

  // One run of lengths for both codes: repeats may cross from the lit/len lengths into the
  // distance lengths, but never past the count the header gave.
  const uint32_t total = litLenCount + distanceCount;
  uint32_t filled = 0;
  while (filled < total) {
    const uint16_t entry = decodeSymbol(codeLengthTable_);
    if (entry == kUnused) {
      error_ = kInflateBadTable;
      return 1;
    }
    const unsigned symbol = EntrySymbol(entry);
    if (symbol < 16) {
      litLenLengths_[filled++] = static_cast<uint8_t>(symbol);
      continue;
    }
    uint8_t value = 0;
    uint32_t repeat;
    if (symbol == 16) {
      if (filled == 0) {
        error_ = kInflateBadTable;
        return 1;
      }
      value = litLenLengths_[filled - 1];
      repeat = 3 + takeBits(2);
    } else if (symbol == 17) {
      repeat = 3 + takeBits(3);
    } else {
      repeat = 11 + takeBits(7);
    }
    if (repeat > total - filled) {
      error_ = kInflateBadTable;
      return 1;
    }
    std::memset(litLenLengths_ + filled, value, repeat);
    filled += repeat;
  }

  std::memmove(distanceLengths_, litLenLengths_ + litLenCount, distanceCount);
  if (build(litLenCount, litLenLengths_, litLenTable_)) return 1;
  return build(distanceCount, distanceLengths_, distanceTable_);
}

int Decoder::readBlockTables() {
  const uint32_t type = takeBits(2);
  if (type == kReserved) {
    error_ = kInflateBadBlockType;
    return 1;
  }
  if (type == kDynamic) return readDynamicLengths();

  // The fixed code.
  std::memset(litLenLengths_, 8, 144);
  std::memset(litLenLengths_ + 144, 9, 256 - 144);
  std::memset(litLenLengths_ + 256, 7, 280 - 256);
  std::memset(litLenLengths_ + 280, 8, kLitLenFixedCount - 280);
  std::memset(distanceLengths_, 5, kDistanceFixedCount);
  if (build(kLitLenFixedCount, litLenLengths_, litLenTable_)) return 1;
  return build(kDistanceFixedCount, distanceLengths_, distanceTable_);
}

// Returns the leaf of the next code, consuming its bits, or kUnused (nothing consumed that
// matters) for a bit pattern that belongs to no code.
uint16_t Decoder::decodeSymbol(const HuffmanTable& table) {
  uint16_t entry = table.primary[bitBuffer_ & (kPrimaryEntries - 1)];
  if (!IsNode(entry)) {
    if (entry != kUnused) consume(EntryLength(entry));
    return entry;
  }
  consume(kPrimaryBits);
  // The look-ahead byte holds the code's remaining bits (at most 7): peek them one per step.
  unsigned steps = 0;
  while (IsNode(entry)) {
    if (steps == kMaxTreeSteps || !table.tree) return kUnused;
    const uint32_t pair = static_cast<uint16_t>(~entry);
    if (pair + 1 >= table.treeEntries) return kUnused;
    entry = table.tree[pair + ((bitBuffer_ >> steps) & 1)];
    ++steps;
  }
  if (entry != kUnused) consume(steps);
  return entry;
}

void Decoder::decodeHuffmanBlock() {
  for (;;) {
    if (emptyRefills_ > kMaxEmptyRefills) {
      error_ = kInflateDataEnded;
      return;
    }
    const uint16_t litLen = decodeSymbol(litLenTable_);
    const unsigned symbol = EntrySymbol(litLen);
    // A bit pattern of no code, and the two symbols the format leaves without meaning, are damage.
    if (litLen == kUnused || symbol > kLastLengthSymbol) {
      error_ = kInflateBadTable;
      return;
    }
    if (symbol < kEndOfBlock) {
      putByte(static_cast<uint8_t>(symbol));
      continue;
    }
    if (symbol == kEndOfBlock) return;

    uint32_t length;
    if (symbol <= 264) {
      length = symbol - 254;
    } else if (symbol < kLastLengthSymbol) {
      const unsigned extra = (symbol - 261) / 4;
      length = ((((symbol - 257) & 3) + 4) << extra) + 3 + takeBits(extra);
    } else if (!deflate64_) {
      length = 258;
    } else {
      const uint32_t value = takeBits(16);
      if (value == 0) {
        // The flush marker: hand over what the window holds and go on at its start.
        writePending();
        continue;
      }
      length = 3 + value;
    }

    const uint16_t distanceEntry = decodeSymbol(distanceTable_);
    if (distanceEntry == kUnused) {
      error_ = kInflateBadTable;
      return;
    }
    // Symbols 30 and 31 reach 32769 to 65536 back, in Deflate streams too.
    const unsigned distanceSymbol = EntrySymbol(distanceEntry);
    uint32_t distance;
    if (distanceSymbol < 4) {
      distance = distanceSymbol + 1;
    } else {
      const unsigned extra = distanceSymbol / 2 - 1;
      distance = (((distanceSymbol & 1) + 2) << extra) + 1 + takeBits(extra);
    }
    // Window bytes this entry never wrote hold another entry's data, or nothing: a stream that
    // reaches them is damaged, and must not bring those bytes into this file.
    if (distance > writePos_ && filled_ < kWindowSize &&
        kWindowSize - (distance - writePos_) + length > filled_) {
      error_ = kInflateBadTable;
      return;
    }
    copyMatch(distance, length);
  }
}

int Decoder::run() {
  refillInput();
  if (inputPos_ == inputEnd_) return kInflateOk;  // no compressed data: nothing to decode
  bitBuffer_ = nextByte();
  bitCount_ = 0;

  for (;;) {
    const bool finalBlock = (bitBuffer_ & 1) != 0;
    consume(1);
    if ((bitBuffer_ & 3) == kStored) {
      consume(2);
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

}  // namespace

int ReferenceInflate(const InflateBuffers& buffers, InflateIo& io, int deflate64) {
  Decoder decoder(buffers, io, deflate64);
  return decoder.run();
}
