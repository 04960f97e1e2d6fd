// A bounds-checked little-endian reader over bytes that came from an archive. Lengths read from
// the file are never trusted: a read past the end yields 0 and marks the reader failed.
#pragma once

#include <cstddef>
#include <cstdint>

inline uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t le64(const uint8_t* p) {
  return static_cast<uint64_t>(le32(p)) | (static_cast<uint64_t>(le32(p + 4)) << 32);
}
inline void putLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void putLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void putLe64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  size_t remaining() const { return size_ - pos_; }
  size_t position() const { return pos_; }
  bool failed() const { return failed_; }
  const uint8_t* current() const { return data_ + pos_; }

  uint16_t u16() {
    if (!need(2)) return 0;
    uint16_t v = le16(data_ + pos_);
    pos_ += 2;
    return v;
  }
  uint32_t u32() {
    if (!need(4)) return 0;
    uint32_t v = le32(data_ + pos_);
    pos_ += 4;
    return v;
  }
  uint64_t u64() {
    if (!need(8)) return 0;
    uint64_t v = le64(data_ + pos_);
    pos_ += 8;
    return v;
  }
  // The next n bytes as a reader of their own; an empty, failed reader when fewer remain.
  ByteReader sub(size_t n) {
    if (!need(n)) {
      ByteReader empty(data_, 0);
      empty.failed_ = true;
      return empty;
    }
    ByteReader r(data_ + pos_, n);
    pos_ += n;
    return r;
  }
  bool skip(size_t n) {
    if (!need(n)) return false;
    pos_ += n;
    return true;
  }

 private:
  bool need(size_t n) {
    if (failed_ || n > size_ - pos_) {
      failed_ = true;
      return false;
    }
    return true;
  }
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  bool failed_ = false;
};
