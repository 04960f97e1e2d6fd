#include "zip/read_ahead.h"

#include <cstring>
#include <new>

ReadAheadStream::ReadAheadStream(const char* name)
    : FileStream(name, kGenericRead, kShareRead, kOpenExisting, kAttrNormal),
      // Without memory for a window every read goes to the file, as a plain stream's would.
      window_(new (std::nothrow) uint8_t[kReadAheadSize]) {}

bool ReadAheadStream::syncFilePointer() {
  if (filePointer_ == position_) return true;
  uint64_t moved = 0;
  if (seekFile(handle_, static_cast<int64_t>(position_), &moved, kSeekStart) != 0) return false;
  filePointer_ = moved;
  return true;
}

bool ReadAheadStream::fill() {
  windowLength_ = 0;
  if (!syncFilePointer()) return false;
  uint32_t got = 0;
  if (readFile(handle_, window_.get(), kReadAheadSize, &got) != 0) return false;
  windowStart_ = position_;
  windowLength_ = got;
  filePointer_ += got;
  return true;
}

bool ReadAheadStream::readDirect(uint8_t* out, uint32_t count, uint32_t* got) {
  *got = 0;
  if (!syncFilePointer() || readFile(handle_, out, count, got) != 0) return false;
  filePointer_ += *got;
  position_ += *got;
  return true;
}

int ReadAheadStream::read(void* buffer, uint32_t count, uint32_t* bytesRead) {
  uint8_t* out = static_cast<uint8_t*>(buffer);
  uint32_t done = 0;
  int result = 0;
  while (done < count) {
    if (windowLength_ != 0 && position_ >= windowStart_ && position_ < windowStart_ + windowLength_) {
      const uint32_t offset = static_cast<uint32_t>(position_ - windowStart_);
      uint32_t piece = windowLength_ - offset;
      if (piece > count - done) piece = count - done;
      std::memcpy(out + done, window_.get() + offset, piece);
      done += piece;
      position_ += piece;
      continue;
    }
    // A large read gains nothing from the window: it goes to the caller's buffer directly.
    if (!window_ || count - done >= kReadAheadSize / 2) {
      uint32_t got = 0;
      if (!readDirect(out + done, count - done, &got)) result = 1;
      done += got;
      break;
    }
    if (!fill()) {
      result = 1;
      break;
    }
    if (windowLength_ == 0) break;  // the end of the file
  }
  if (bytesRead) *bytesRead = done;
  return result;
}

uint64_t ReadAheadStream::seek(int64_t distance, int origin) {
  int64_t target;
  if (origin == kSeekStart) {
    target = distance;
  } else if (origin == kSeekCurrent) {
    target = static_cast<int64_t>(position_) + distance;
  } else {
    // From the end: the system knows the size now, which may have changed since the open.
    uint64_t moved = 0;
    if (seekFile(handle_, distance, &moved, origin) == 0) {
      position_ = filePointer_ = moved;
    }
    return position_;
  }
  // A position before the start is refused and leaves the position, as the system does.
  if (target >= 0) position_ = static_cast<uint64_t>(target);
  return position_;
}

int ReadAheadStream::rewind() {
  position_ = 0;
  return 1;
}
