#include "progress.h"

namespace {

constexpr int kBarWidth = 24;
// A build shorter than this shows no bar at all.
constexpr auto kQuietStart = std::chrono::milliseconds(500);
constexpr auto kRedraw = std::chrono::milliseconds(200);

std::string Clock(double seconds) {
  long s = static_cast<long>(seconds + 0.5);
  char text[32];
  if (s >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  }
  return text;
}

}  // namespace

std::string Grouped(uint64_t value) {
  std::string digits = std::to_string(value), out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
    out.push_back(digits[i]);
  }
  return out;
}

std::string Bytes(uint64_t value) {
  static constexpr const char* kUnits[] = {"KiB", "MiB", "GiB"};
  if (value < 1024) return std::to_string(value) + " B";
  double v = static_cast<double>(value);
  int unit = -1;
  while (v >= 1024 && unit < 2) {
    v /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", v, kUnits[unit]);
  return text;
}

ProgressBar::ProgressBar(std::FILE* stream, uint64_t total)
    : stream_(stream), total_(total), start_(std::chrono::steady_clock::now()), lastDraw_(start_) {}

void ProgressBar::advance(uint64_t bytes) {
  done_ += bytes;
  if (!stream_) return;
  auto now = std::chrono::steady_clock::now();
  if (now - start_ < kQuietStart || now - lastDraw_ < kRedraw) return;
  lastDraw_ = now;
  draw();
}

void ProgressBar::draw() {
  double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  double fraction = total_ ? static_cast<double>(done_) / static_cast<double>(total_) : 1.0;
  int filled = static_cast<int>(fraction * kBarWidth);
  std::string bar(static_cast<size_t>(filled), '#');
  bar.resize(kBarWidth, '.');
  double rate = elapsed > 0 ? static_cast<double>(done_) / elapsed : 0;
  std::string left = rate > 0 ? Clock(static_cast<double>(total_ - done_) / rate) + " left" : "";
  std::fprintf(stream_, "\r[%s] %3d%%  %s of %s  %s/s  %s\033[K", bar.c_str(),
               static_cast<int>(fraction * 100), Bytes(done_).c_str(), Bytes(total_).c_str(),
               Bytes(static_cast<uint64_t>(rate)).c_str(), left.c_str());
  std::fflush(stream_);
  drawn_ = true;
}

bool ProgressBar::finish() {
  if (!drawn_) return false;
  std::fputs("\r\033[K", stream_);
  std::fflush(stream_);
  drawn_ = false;
  return true;
}
