// Valid Deflate and Deflate64 streams made from a plan of symbols, with the bytes the decoder must
// give for them. Byte mutation almost never makes a valid stream with matches near the window's
// reach, so the decoder's shortcuts around the window's edges go unchecked by it; a plan reaches
// them on purpose: near and far matches (to 65536 back), matches that read just ahead of the write
// position, long Deflate64 lengths, flush markers, and stored, fixed and dynamic blocks.
//
// The expected bytes come from a plain model of the decoder's window: a 65536-byte ring written
// one byte at a time, every match copied byte by byte from the ring, and a flush marker that
// sends writing back to the ring's start. Matches are planned only where they read bytes this
// stream wrote. No test-framework dependency: the fuzz target builds it too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace deflate_plan {

// Where a plan's choices come from: the bytes given first (a fuzzer's input drives the plan),
// then a generator seeded from them, so that a short input can still plan a long stream.
class Choices {
 public:
  Choices(const uint8_t* data, size_t size);
  explicit Choices(uint64_t seed);
  uint32_t below(uint32_t n);  // in [0, n); n > 0
  uint32_t between(uint32_t low, uint32_t high) { return low + below(high - low + 1); }
  bool percent(uint32_t chance) { return below(100) < chance; }

 private:
  uint32_t next();

  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t position_ = 0;
  uint64_t state_;
};

struct PlannedStream {
  std::vector<uint8_t> stream;
  std::vector<uint8_t> expected;
  uint32_t farMatches = 0;  // matches reaching more than 65512 bytes back
  uint32_t markers = 0;
};

struct PlanLimits {
  uint32_t maxOutput = 1u << 20;  // a plan stops adding blocks past this much output
};

PlannedStream MakeStream(Choices& choices, bool deflate64, const PlanLimits& limits = {});

// A plan written by hand: one final block of the fixed code, symbol by symbol.
class HandPlan {
 public:
  explicit HandPlan(bool deflate64);
  ~HandPlan();
  void literal(uint8_t byte);
  // Only where every byte the match reads was written by this stream.
  void match(uint32_t length, uint32_t distance);
  void marker();  // Deflate64 only
  size_t streamSize() const;  // whole bytes written so far
  PlannedStream finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Read sizes that vary from read to read, for an io answering a decoder: one step of the cycle a
// seed gives (1 to 70000 bytes), with the extractor's own read size among them.
uint32_t IrregularReadSize(uint32_t seed, uint32_t& step);

}  // namespace deflate_plan
