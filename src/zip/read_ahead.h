// The archive's stream: reads served from a large window of the file, so that a run over many
// small entries (a local header, a few bytes of data, the next local header) costs one read of
// the file per window instead of a seek and several reads per entry.
#pragma once

#include <cstdint>
#include <memory>

#include "fs/fs.h"

// 256 KiB: large enough that thousands of small entries share one read, small enough to keep
// one per worker.
constexpr uint32_t kReadAheadSize = 256 * 1024;

class ReadAheadStream : public FileStream {
 public:
  // Opens name for reading; isOpen() tells whether it was opened, as for a FileStream.
  explicit ReadAheadStream(const char* name);

  int read(void* buffer, uint32_t count, uint32_t* bytesRead) override;
  // A position inside the window moves no file pointer; the window stays.
  uint64_t seek(int64_t distance, int origin) override;
  int rewind() override;

 private:
  // Refills the window from the current position; false on a failed read.
  bool fill();
  // Moves the system's file pointer to the stream's position where they differ.
  bool syncFilePointer();
  bool readDirect(uint8_t* out, uint32_t count, uint32_t* got);

  std::unique_ptr<uint8_t[]> window_;
  uint64_t windowStart_ = 0;
  uint32_t windowLength_ = 0;
  uint64_t filePointer_ = 0;  // where the system's pointer stands
};
