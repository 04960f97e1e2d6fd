// The progress bar of a long build on a terminal: bytes done, rate and time left, redrawn in
// place on standard error at most a few times a second; and the figures of the summary.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

class ProgressBar {
 public:
  // Draws nothing when stream is null.
  ProgressBar(std::FILE* stream, uint64_t total);
  ~ProgressBar() { finish(); }
  void advance(uint64_t bytes);
  // Clears the bar's line; true when there was a bar to clear.
  bool finish();

 private:
  void draw();
  std::FILE* stream_;
  uint64_t total_;
  uint64_t done_ = 0;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point start_, lastDraw_;
};

// 1234567 -> "1,234,567".
std::string Grouped(uint64_t value);
// 1536 -> "1.5 KiB"; below a KiB, bytes.
std::string Bytes(uint64_t value);
