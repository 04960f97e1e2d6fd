// The portable half of the file layer: the stream object over the handle-level wrappers, and the
// small text, attribute and year helpers that need no operating system.
#include <cstring>

#include "fs/format.h"
#include "fs/fs.h"

// --- FileStream ------------------------------------------------------------------------------

FileStream::FileStream(const char* name, uint32_t access, uint32_t share, uint32_t creation,
                       uint32_t flagsAndAttributes) {
  name_ = name;
  handle_ = createFile(name, access, share, creation, flagsAndAttributes);
  if (handle_ == kInvalidHandle) return;
  // The directory entry gives the size and times as they were at open; a failed search leaves
  // info zeroed rather than failing the open.
  SearchHandle search = findFirst(name, &info_);
  if (search != kNoSearch) endSearch(search);
}

FileStream::~FileStream() { FileStream::close(); }

int FileStream::read(void* buffer, uint32_t count, uint32_t* bytesRead) {
  uint32_t done = 0;
  int result = readFile(handle_, buffer, count, &done);
  position_ += done;
  if (bytesRead) *bytesRead = done;
  return result;
}

int FileStream::write(const void* buffer, uint32_t count, uint32_t* bytesWritten) {
  uint32_t done = 0;
  int result = writeFile(handle_, buffer, count, &done);
  position_ += done;
  if (bytesWritten) *bytesWritten = done;
  return result == 0 && done == count ? 0 : 1;
}

int FileStream::isOpen() const { return handle_ != kInvalidHandle ? 1 : 0; }

int FileStream::status() const { return 0; }

uint64_t FileStream::size() const { return info_.size; }

uint64_t FileStream::seek(int64_t distance, int origin) {
  uint64_t moved = 0;
  if (seekFile(handle_, distance, &moved, origin) == 0) position_ = moved;
  return position_;
}

int FileStream::rewind() {
  seekFile(handle_, 0, nullptr, kSeekStart);
  position_ = 0;
  return 1;
}

int FileStream::truncate() { return truncateFile(handle_); }

void FileStream::close() {
  if (handle_ == kInvalidHandle) return;
  // The system releases the handle even when closing reports an error (a late write failure);
  // keeping the number would let a second close hit whatever file reuses it.
  closeFile(handle_);
  handle_ = kInvalidHandle;
}

// --- helpers ---------------------------------------------------------------------------------

// The runtime's "C" locale rule, kept whatever locale a front end may have selected.
int upperCaseChar(int c) { return c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c; }

char* upperCaseText(char* text) {
  for (char* p = text; *p; ++p) *p = static_cast<char>(upperCaseChar(static_cast<unsigned char>(*p)));
  return text;
}

char* findColon(const char* text, int mode) {
  return const_cast<char*>(mode == 1 ? std::strchr(text, ':') : std::strrchr(text, ':'));
}

uint32_t keepAttributes(uint32_t attributes) {
  return attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrDirectory | kAttrNormal);
}

void expandYear(uint16_t* year) {
  *year = static_cast<uint16_t>(*year >= 80 && *year <= 99 ? *year + 1900 : *year + 2000);
}
