#include "deflate_plan.h"

#include <algorithm>
#include <cstdlib>
#include <queue>
#include <utility>

namespace deflate_plan {
namespace {

constexpr uint32_t kWindowSize = 65536;
constexpr uint32_t kWindowMask = kWindowSize - 1;
// The decoder's word copies may overwrite this many bytes just ahead of the write position;
// a match more than kWindowSize - kAhead back reads them.
constexpr uint32_t kAhead = 24;
constexpr uint32_t kExtractorRead = 61440;

// RFC 1951's length symbols 257 to 284 and distance symbols 0 to 29; Deflate64 adds distance
// symbols 30 and 31 (the decoder takes them in Deflate streams too) and gives symbol 285 a 16-bit
// length, whose value 0 is the flush marker.
constexpr uint16_t kLengthBase[28] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23,
                                      27, 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227};
constexpr uint8_t kLengthExtra[28] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};
constexpr uint32_t kDistanceBase[32] = {1,    2,    3,    4,    5,    7,     9,     13,    17,    25,   33,
                                        49,   65,   97,   129,  193,  257,   385,   513,   769,   1025, 1537,
                                        2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
constexpr uint8_t kDistanceExtra[32] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,  6,
                                        7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};
constexpr unsigned kEndOfBlock = 256;
constexpr unsigned kLength64Symbol = 285;
constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

uint64_t Mix(uint64_t x) {  // splitmix64's finaliser
  x += 0x9E3779B97F4A7C15u;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
  return x ^ (x >> 31);
}

// What the decoder must do with a stream, one byte at a time.
class Ring {
 public:
  explicit Ring(std::vector<uint8_t>& out) : out_(out), window_(kWindowSize) {}

  void put(uint8_t byte) {
    window_[position_] = byte;
    out_.push_back(byte);
    if (++position_ == kWindowSize) {
      position_ = 0;
      filled_ = kWindowSize;
    }
  }
  // Whether every byte the match reads was written by this stream: the ring's earlier round holds
  // the stream's bytes only where it was filled before the last flush marker.
  bool reaches(uint32_t distance, uint32_t length) const {
    if (distance == 0 || distance > kWindowSize) return false;
    if (distance <= position_ || filled_ == kWindowSize) return true;
    return kWindowSize - (distance - position_) + length <= filled_;
  }
  void copy(uint32_t distance, uint32_t length) {
    while (length--) put(window_[(position_ + kWindowSize - distance) & kWindowMask]);
  }
  void marker() {
    filled_ = std::max(filled_, position_);
    lastMarker_ = position_;
    position_ = 0;
  }
  uint32_t position() const { return position_; }
  uint32_t lastMarker() const { return lastMarker_; }
  size_t size() const { return out_.size(); }

 private:
  std::vector<uint8_t>& out_;
  std::vector<uint8_t> window_;
  uint32_t position_ = 0;
  uint32_t filled_ = 0;  // positions [0, filled_) of the ring hold bytes of this stream
  uint32_t lastMarker_ = kWindowSize;
};

class BitWriter {
 public:
  explicit BitWriter(std::vector<uint8_t>& out) : out_(out) {}
  void bits(uint32_t value, unsigned count) {
    pending_ |= static_cast<uint64_t>(value) << pendingCount_;
    pendingCount_ += count;
    while (pendingCount_ >= 8) {
      out_.push_back(static_cast<uint8_t>(pending_));
      pending_ >>= 8;
      pendingCount_ -= 8;
    }
  }
  // Huffman codes go out most significant bit first.
  void code(uint32_t code, unsigned length) {
    uint32_t reversed = 0;
    for (unsigned i = 0; i < length; ++i) reversed |= ((code >> i) & 1) << (length - 1 - i);
    bits(reversed, length);
  }
  void align() {
    if (pendingCount_ % 8) bits(0, 8 - pendingCount_ % 8);
  }

 private:
  std::vector<uint8_t>& out_;
  uint64_t pending_ = 0;
  unsigned pendingCount_ = 0;
};

// Code lengths of at most `limit` bits for the given symbol frequencies: Huffman's, with the
// frequencies halved until the longest code fits. One used symbol gets a one-bit code.
std::vector<uint8_t> CodeLengths(std::vector<uint64_t> frequencies, unsigned limit) {
  const size_t n = frequencies.size();
  std::vector<uint8_t> lengths(n, 0);
  std::vector<size_t> used;
  for (size_t s = 0; s < n; ++s) {
    if (frequencies[s]) used.push_back(s);
  }
  if (used.size() == 1) lengths[used[0]] = 1;
  if (used.size() <= 1) return lengths;
  for (;;) {
    using Node = std::pair<uint64_t, size_t>;
    std::priority_queue<Node, std::vector<Node>, std::greater<Node>> heap;
    std::vector<size_t> parent(2 * n, 0);
    for (size_t s : used) heap.push({frequencies[s], s});
    size_t next = n;
    while (heap.size() > 1) {
      const Node a = heap.top();
      heap.pop();
      const Node b = heap.top();
      heap.pop();
      parent[a.second] = parent[b.second] = next;
      heap.push({a.first + b.first, next++});
    }
    const size_t root = next - 1;
    unsigned longest = 0;
    for (size_t s : used) {
      unsigned depth = 0;
      for (size_t node = s; node != root; node = parent[node]) ++depth;
      lengths[s] = static_cast<uint8_t>(depth);
      longest = std::max(longest, depth);
    }
    if (longest <= limit) return lengths;
    for (uint64_t& f : frequencies) f = (f + 1) / 2;
  }
}

// A complete code over the given symbols with lengths differing by at most one.
std::vector<uint8_t> FlatLengths(size_t count, const std::vector<size_t>& symbols) {
  std::vector<uint8_t> lengths(count, 0);
  if (symbols.size() == 1) lengths[symbols[0]] = 1;
  if (symbols.size() <= 1) return lengths;
  unsigned bits = 0;
  while ((size_t{1} << bits) < symbols.size()) ++bits;
  const size_t shorter = (size_t{1} << bits) - symbols.size();  // these take bits - 1
  for (size_t i = 0; i < symbols.size(); ++i) lengths[symbols[i]] = static_cast<uint8_t>(i < shorter ? bits - 1 : bits);
  return lengths;
}

struct Code {
  std::vector<uint32_t> codes;
  std::vector<uint8_t> lengths;
};

Code Canonical(const std::vector<uint8_t>& lengths) {
  uint32_t counts[16] = {}, next[16] = {};
  for (uint8_t l : lengths) ++counts[l];
  counts[0] = 0;
  for (unsigned bits = 1, code = 0; bits < 16; ++bits) {
    code = (code + counts[bits - 1]) << 1;
    next[bits] = code;
  }
  Code result{std::vector<uint32_t>(lengths.size(), 0), lengths};
  for (size_t s = 0; s < lengths.size(); ++s) {
    if (lengths[s]) result.codes[s] = next[lengths[s]]++;
  }
  return result;
}

// One symbol of a Huffman block as it goes out: a literal, end of block or length with its extra
// bits, then a distance with its extra bits when it is a match.
struct Item {
  uint16_t symbol;
  uint8_t extraBits = 0;
  uint32_t extra = 0;
  bool match = false;
  uint8_t distanceSymbol = 0;
  uint32_t distanceExtra = 0;
};

bool IsMarker(const Item& item) { return item.symbol == kLength64Symbol && !item.match; }

Item LengthItem(uint32_t length, bool deflate64, Choices& choices) {
  Item item{kLength64Symbol};
  if (deflate64 && (length > 258 || (length >= 4 && choices.percent(3)))) {
    item.extraBits = 16;
    item.extra = length - 3;
  } else if (length == 258 && !deflate64 && choices.percent(70)) {
    // Deflate's own 258: symbol 285 without extra bits. Otherwise 284 with all five extra bits set.
  } else {
    unsigned i = 27;
    while (kLengthBase[i] > length) --i;
    item.symbol = static_cast<uint16_t>(257 + i);
    item.extraBits = kLengthExtra[i];
    item.extra = length - kLengthBase[i];
  }
  item.match = true;
  return item;
}

void SetDistance(Item& item, uint32_t distance) {
  unsigned i = 31;
  while (kDistanceBase[i] > distance) --i;
  item.distanceSymbol = static_cast<uint8_t>(i);
  item.distanceExtra = distance - kDistanceBase[i];
}

// How a block's symbols are drawn; chosen once per block, so that blocks differ in character.
struct BlockStyle {
  uint32_t literalPercent;
  uint32_t markerPerMille;
  uint32_t alphabet;  // literals from the first `alphabet` byte values (256: any)
  uint32_t farPercent;  // of matches, how many reach the bytes just ahead of the write position
  // Of matches, how many come as a near match followed at once by a far one: the near match's
  // word copies alter the bytes ahead, and the far match reads them.
  uint32_t burstPercent;
};

uint32_t PlanLength(Choices& choices, bool deflate64) {
  const uint32_t r = choices.below(100);
  if (r < 45) return choices.between(3, 10);
  if (r < 80) return choices.between(11, 257);
  if (r < 88 || !deflate64) return 258;
  if (r < 96) return choices.between(259, 2000);
  return choices.percent(50) ? 65538 : choices.between(2000, 65538);
}

uint32_t PlanDistance(Choices& choices, const Ring& ring, const BlockStyle& style) {
  if (choices.percent(style.farPercent)) return kWindowSize - choices.below(kAhead);  // reads the bytes ahead
  const uint32_t r = choices.below(100);
  if (r < 12) return 1;
  if (r < 25) return choices.between(2, 8);
  if (r < 45) return choices.between(9, 200);
  if (r < 60) return choices.between(201, 32768);
  if (r < 70) return choices.between(32700, 32800);
  if (r < 80) return choices.between(32769, kWindowSize);
  if (r < 90 && ring.lastMarker() < kWindowSize && ring.position() < ring.lastMarker()) {
    // The bytes that lay just ahead when the last flush marker came.
    return kWindowSize - (ring.lastMarker() - ring.position()) - choices.below(kAhead);
  }
  return choices.between(65500, kWindowSize);
}

std::vector<Item> PlanHuffmanItems(Choices& choices, Ring& ring, bool deflate64, size_t target) {
  BlockStyle style{};
  style.literalPercent = choices.between(10, 95);
  style.markerPerMille = deflate64 && choices.percent(30) ? choices.between(1, 30) : 0;
  const uint32_t alphabets[] = {256, 256, 4, 1, 26};
  style.alphabet = alphabets[choices.below(5)];
  style.farPercent = choices.percent(50) ? choices.between(5, 60) : 0;
  style.burstPercent = choices.percent(50) ? choices.between(10, 80) : 0;
  const uint32_t r = choices.below(100);
  const uint32_t count = r < 25 ? choices.between(0, 40) : r < 80 ? choices.between(40, 4000) : choices.between(4000, 60000);

  std::vector<Item> items;
  for (uint32_t i = 0; i < count && ring.size() < target; ++i) {
    if (style.markerPerMille && choices.below(1000) < style.markerPerMille) {
      Item marker{kLength64Symbol, 16, 0};
      items.push_back(marker);
      ring.marker();
      continue;
    }
    if (!choices.percent(style.literalPercent)) {
      uint32_t length = PlanLength(choices, deflate64);
      uint32_t distance = PlanDistance(choices, ring, style);
      const uint32_t room = kWindowSize - ring.position();
      if (room < 300 && choices.percent(50)) {
        // Across the window's end: the window is handed over in the middle of the match.
        length = std::min<uint32_t>(deflate64 ? 65538 : 258, room + choices.below(40));
        if (length < 3) length = 3;
      }
      if (choices.percent(style.burstPercent) && ring.position() >= 40) {
        const uint32_t nearLength = choices.between(3, 12), nearDistance = choices.between(8, 40);
        Item near = LengthItem(nearLength, deflate64, choices);
        SetDistance(near, nearDistance);
        items.push_back(near);
        ring.copy(nearDistance, nearLength);
        distance = kWindowSize - choices.below(kAhead);
      }
      if (!ring.reaches(distance, length) && ring.position() > 0) {
        distance = 1 + choices.below(ring.position());  // a near match instead
      }
      if (ring.reaches(distance, length)) {
        Item item = LengthItem(length, deflate64, choices);
        SetDistance(item, distance);
        items.push_back(item);
        ring.copy(distance, length);
        continue;
      }
    }
    const uint8_t byte = static_cast<uint8_t>(style.alphabet == 256 ? choices.below(256) : 'a' + choices.below(style.alphabet));
    items.push_back(Item{byte});
    ring.put(byte);
  }
  items.push_back(Item{kEndOfBlock});
  return items;
}

// The header's code-length sequence: each length, or runs as symbols 16 (repeat the last, 3 to
// 6), 17 (3 to 10 zeros) and 18 (11 to 138 zeros). Runs may cross from one code into the other.
std::vector<std::pair<uint8_t, uint32_t>> LengthSteps(const std::vector<uint8_t>& all, Choices& choices) {
  const bool runs = choices.percent(80);
  std::vector<std::pair<uint8_t, uint32_t>> steps;
  for (size_t i = 0; i < all.size();) {
    size_t run = 1;
    while (i + run < all.size() && all[i + run] == all[i]) ++run;
    if (!runs || run < 3 || (all[i] != 0 && run < 4)) {
      steps.push_back({all[i], 0});
      ++i;
      continue;
    }
    if (all[i] == 0) {
      const uint32_t n = static_cast<uint32_t>(std::min<size_t>(run, 138));
      if (n >= 11) {
        steps.push_back({18, n - 11});
      } else {
        steps.push_back({17, n - 3});
      }
      i += n;
    } else {
      steps.push_back({all[i], 0});
      const uint32_t n = static_cast<uint32_t>(std::min<size_t>(run - 1, 6));
      steps.push_back({16, n - 3});
      i += 1 + n;
    }
  }
  return steps;
}

std::vector<uint8_t> LitLenLengths(const std::vector<Item>& items, Choices& choices, unsigned& count) {
  std::vector<uint64_t> frequencies(286, 0);
  for (const Item& item : items) ++frequencies[item.symbol];
  unsigned highest = 256;
  for (unsigned s = 0; s < 286; ++s) {
    if (frequencies[s]) highest = std::max(highest, s);
  }
  count = std::max(257u, highest + 1);
  if (choices.percent(20)) count = std::max(count, choices.between(257, 286));
  frequencies.resize(count);
  const uint32_t shape = choices.below(3);
  if (shape == 0) return CodeLengths(frequencies, 15);
  if (shape == 1) {
    // Skewed weights give codes of every length up to 15: the tables' second level.
    for (uint64_t& f : frequencies) {
      if (f) f <<= choices.below(24);
    }
    return CodeLengths(frequencies, 15);
  }
  std::vector<size_t> symbols;
  for (size_t s = 0; s < count; ++s) {
    if (frequencies[s] || choices.percent(10)) symbols.push_back(s);
  }
  return FlatLengths(count, symbols);
}

std::vector<uint8_t> DistanceLengths(const std::vector<Item>& items, Choices& choices, unsigned& count) {
  std::vector<uint64_t> frequencies(32, 0);
  int highest = -1;
  for (const Item& item : items) {
    if (!item.match) continue;
    ++frequencies[item.distanceSymbol];
    highest = std::max(highest, static_cast<int>(item.distanceSymbol));
  }
  count = static_cast<unsigned>(std::max(1, highest + 1));
  if (choices.percent(20)) count = std::max(count, choices.between(1, 32));
  frequencies.resize(count);
  if (highest < 0) {
    // No match: no distance code at all, or a lone one-bit code.
    std::vector<uint8_t> lengths(count, 0);
    if (choices.percent(50)) lengths[0] = 1;
    return lengths;
  }
  if (choices.percent(70)) return CodeLengths(frequencies, 15);
  std::vector<size_t> symbols;
  for (size_t s = 0; s < count; ++s) {
    if (frequencies[s] || choices.percent(20)) symbols.push_back(s);
  }
  return FlatLengths(count, symbols);
}

void WriteItems(BitWriter& w, const std::vector<Item>& items, const Code& litLen, const Code& distance) {
  for (const Item& item : items) {
    w.code(litLen.codes[item.symbol], litLen.lengths[item.symbol]);
    if (item.extraBits) w.bits(item.extra, item.extraBits);
    if (item.match) {
      w.code(distance.codes[item.distanceSymbol], distance.lengths[item.distanceSymbol]);
      if (kDistanceExtra[item.distanceSymbol]) w.bits(item.distanceExtra, kDistanceExtra[item.distanceSymbol]);
    }
  }
}

void WriteDynamicBlock(BitWriter& w, bool final, const std::vector<Item>& items, Choices& choices) {
  unsigned litLenCount = 0, distanceCount = 0;
  std::vector<uint8_t> all = LitLenLengths(items, choices, litLenCount);
  const std::vector<uint8_t> distances = DistanceLengths(items, choices, distanceCount);
  const Code litLen = Canonical(all);
  const Code distance = Canonical(distances);
  all.insert(all.end(), distances.begin(), distances.end());

  const auto steps = LengthSteps(all, choices);
  std::vector<uint64_t> frequencies(19, 0);
  for (const auto& step : steps) ++frequencies[step.first];
  const Code lengthCode = Canonical(CodeLengths(frequencies, 7));
  unsigned codeLengthCount = 19;
  while (codeLengthCount > 4 && lengthCode.lengths[kCodeLengthOrder[codeLengthCount - 1]] == 0) --codeLengthCount;

  w.bits(final ? 1 : 0, 1);
  w.bits(2, 2);
  w.bits(litLenCount - 257, 5);
  w.bits(distanceCount - 1, 5);
  w.bits(codeLengthCount - 4, 4);
  for (unsigned i = 0; i < codeLengthCount; ++i) w.bits(lengthCode.lengths[kCodeLengthOrder[i]], 3);
  for (const auto& [symbol, extra] : steps) {
    w.code(lengthCode.codes[symbol], lengthCode.lengths[symbol]);
    if (symbol == 16) w.bits(extra, 2);
    if (symbol == 17) w.bits(extra, 3);
    if (symbol == 18) w.bits(extra, 7);
  }
  WriteItems(w, items, litLen, distance);
}

Code FixedLitLen() {
  std::vector<uint8_t> lengths(288);
  for (unsigned s = 0; s < 288; ++s) lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
  return Canonical(lengths);
}

Code FixedDistance() { return Canonical(std::vector<uint8_t>(32, 5)); }

void WriteFixedBlock(BitWriter& w, bool final, const std::vector<Item>& items) {
  w.bits(final ? 1 : 0, 1);
  w.bits(1, 2);
  WriteItems(w, items, FixedLitLen(), FixedDistance());
}

void WriteStoredBlock(BitWriter& w, bool final, Ring& ring, Choices& choices) {
  const uint32_t r = choices.below(100);
  const uint32_t length = r < 30 ? choices.below(20) : r < 80 ? choices.between(20, 5000) : choices.between(5000, 65535);
  w.bits(final ? 1 : 0, 1);
  w.bits(0, 2);
  w.align();
  w.bits(length, 16);
  w.bits(~length & 0xFFFF, 16);
  const bool text = choices.percent(50);
  for (uint32_t i = 0; i < length; ++i) {
    const uint8_t byte = static_cast<uint8_t>(text ? 'a' + choices.below(8) : choices.below(256));
    w.bits(byte, 8);
    ring.put(byte);
  }
}

}  // namespace

Choices::Choices(const uint8_t* data, size_t size) : data_(data), size_(size), state_(size) {
  for (size_t i = 0; i < size; ++i) state_ = Mix(state_ ^ data[i]);
}

Choices::Choices(uint64_t seed) : state_(Mix(seed)) {}

// Each byte given makes one choice on its own, so that changing it changes that choice alone.
uint32_t Choices::next() {
  if (position_ < size_) {
    const uint64_t byte = data_[position_];
    return static_cast<uint32_t>(Mix((position_++ << 8) | byte) >> 32);
  }
  state_ = Mix(state_);
  return static_cast<uint32_t>(state_ >> 32);
}

uint32_t Choices::below(uint32_t n) { return static_cast<uint32_t>((static_cast<uint64_t>(next()) * n) >> 32); }

PlannedStream MakeStream(Choices& choices, bool deflate64, const PlanLimits& limits) {
  PlannedStream planned;
  Ring ring(planned.expected);
  BitWriter w(planned.stream);
  const uint32_t r = choices.below(100);
  const size_t target = r < 20 ? choices.below(3000) : r < 70 ? choices.between(3000, 200000) : choices.between(200000, limits.maxOutput);
  for (unsigned blocks = 1;; ++blocks) {
    const uint32_t type = choices.below(100);
    if (type < 10) {
      const bool final = ring.size() >= target || blocks == 400;
      WriteStoredBlock(w, final, ring, choices);
      if (final) break;
      continue;
    }
    const std::vector<Item> items = PlanHuffmanItems(choices, ring, deflate64, target);
    const bool final = ring.size() >= target || blocks == 400;
    if (type < 35) {
      WriteFixedBlock(w, final, items);
    } else {
      WriteDynamicBlock(w, final, items, choices);
    }
    for (const Item& item : items) {
      if (IsMarker(item)) ++planned.markers;
      if (item.match && kDistanceBase[item.distanceSymbol] + item.distanceExtra > kWindowSize - kAhead) {
        ++planned.farMatches;
      }
    }
    if (final) break;
  }
  w.align();
  return planned;
}

struct HandPlan::State {
  explicit State(bool deflate64) : deflate64(deflate64), ring(planned.expected), writer(planned.stream) {}
  void write(const Item& item) {
    WriteItems(writer, {item}, litLen, distance);
    if (IsMarker(item)) ++planned.markers;
  }

  bool deflate64;
  PlannedStream planned;
  Ring ring;
  BitWriter writer;
  Choices choices{0};
  const Code litLen = FixedLitLen();
  const Code distance = FixedDistance();
};

HandPlan::HandPlan(bool deflate64) : state_(new State(deflate64)) {
  state_->writer.bits(1, 1);
  state_->writer.bits(1, 2);
}

HandPlan::~HandPlan() = default;

void HandPlan::literal(uint8_t byte) {
  state_->write(Item{byte});
  state_->ring.put(byte);
}

void HandPlan::match(uint32_t length, uint32_t distance) {
  if (!state_->ring.reaches(distance, length)) std::abort();  // a plan that reads bytes it never wrote
  Item item = LengthItem(length, state_->deflate64, state_->choices);
  SetDistance(item, distance);
  state_->write(item);
  state_->ring.copy(distance, length);
  if (distance > kWindowSize - kAhead) ++state_->planned.farMatches;
}

void HandPlan::marker() {
  state_->write(Item{kLength64Symbol, 16, 0});
  state_->ring.marker();
}

size_t HandPlan::streamSize() const { return state_->planned.stream.size(); }

PlannedStream HandPlan::finish() {
  state_->write(Item{kEndOfBlock});
  state_->writer.align();
  return std::move(state_->planned);
}

uint32_t IrregularReadSize(uint32_t seed, uint32_t& step) {
  step = step * 1664525u + 1013904223u + seed;
  const uint32_t r = step >> 8;
  switch (r % 4) {
    case 0:
      return kExtractorRead;
    case 1:
      return 1 + r % 64;
    case 2:
      return 1 + r % 4096;
    default:
      return 1 + r % 70000;
  }
}

}  // namespace deflate_plan
