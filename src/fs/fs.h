// The file layer: a file stream object and flat wrappers over the operating system's file,
// directory, time, attribute and volume services. Paths are NUL-terminated UTF-8 text with '/'
// or '\\' separators, as long as Windows takes them; times cross this layer as 32-bit DOS
// date-times in local time (date in the high 16 bits). Results: 0 success, 1 failure, unless a
// count, position or handle is returned. Nothing here ever talks to the user.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fs/text.h"

// Win32 values, used on every platform so that callers read like the calls they stand for.
constexpr uint32_t kGenericRead = 0x80000000u;
constexpr uint32_t kGenericWrite = 0x40000000u;
constexpr uint32_t kShareNone = 0;
constexpr uint32_t kShareRead = 1;
constexpr uint32_t kShareWrite = 2;
constexpr uint32_t kShareDelete = 4;
constexpr uint32_t kCreateNew = 1;
constexpr uint32_t kCreateAlways = 2;
constexpr uint32_t kOpenExisting = 3;

constexpr uint32_t kAttrReadOnly = 0x01;
constexpr uint32_t kAttrHidden = 0x02;
constexpr uint32_t kAttrSystem = 0x04;
constexpr uint32_t kAttrVolumeLabel = 0x08;
constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrArchive = 0x20;
constexpr uint32_t kAttrDevice = 0x40;
constexpr uint32_t kAttrNormal = 0x80;
constexpr uint32_t kAttrCompressed = 0x800;
constexpr uint32_t kInvalidAttributes = 0xFFFFFFFFu;

constexpr int kErrorFileNotFound = 2;
constexpr int kErrorPathNotFound = 3;
constexpr int kErrorAccessDenied = 5;
constexpr int kErrorNoMoreFiles = 18;
constexpr int kErrorNotReady = 21;
constexpr int kErrorFileExists = 80;
constexpr int kErrorAlreadyExists = 183;

constexpr int kDriveRemovable = 2;
constexpr int kDriveFixed = 3;  // also every drive class not listed here
constexpr int kDriveRemote = 4;
constexpr int kDriveCdrom = 5;
constexpr int kDriveRamDisk = 6;

constexpr int kSeekStart = 0;
constexpr int kSeekCurrent = 1;
constexpr int kSeekEnd = 2;

// Paths of the classic size, for what the system itself names (the program's own file, the
// temporary folder).
constexpr int kPathSize = 260;
// A path as long as Windows takes one (32,767 UTF-16 units) in UTF-8, and its NUL: the size of
// the buffers that carry entry names and the paths made of them. Never on the stack.
constexpr int kLongPathSize = 3 * 32767 + 1;
// One component (255 UTF-16 units on the file systems Windows writes) in UTF-8.
constexpr int kNameSize = 3 * 255 + 1;

// A buffer of kLongPathSize chars on the heap, empty when made.
class PathBuffer {
 public:
  PathBuffer() : data_(new char[kLongPathSize]) { data_[0] = '\0'; }
  ~PathBuffer() { delete[] data_; }
  PathBuffer(const PathBuffer&) = delete;
  PathBuffer& operator=(const PathBuffer&) = delete;
  operator char*() { return data_; }              // NOLINT: used where an array was
  operator const char*() const { return data_; }  // NOLINT
  char* get() { return data_; }
  const char* get() const { return data_; }

 private:
  char* data_;
};

using FileHandle = intptr_t;  // a HANDLE on Win32, a descriptor on POSIX
constexpr FileHandle kInvalidHandle = -1;
using SearchHandle = intptr_t;
constexpr SearchHandle kNoSearch = -1;

// A file time as the file system keeps it: 100-ns units since 1601-01-01 UTC.
struct FileTime {
  uint32_t low;
  uint32_t high;
};

// One directory entry as a search reports it.
struct FindInfo {
  uint32_t attributes;
  uint32_t creation;    // local DOS date-time, 0 when it cannot be converted
  uint32_t lastAccess;  // likewise
  uint32_t lastWrite;   // likewise
  uint64_t size;
  char name[kNameSize];  // the long name
  char shortName[14];    // the 8.3 alias; empty when the name needs none
  FileTime rawTimes[3];  // creation, last access, last write, as reported (UTC)
};

// --- handle level ------------------------------------------------------------------------
FileHandle createFile(const char* name, uint32_t access, uint32_t share, uint32_t creation,
                      uint32_t flagsAndAttributes);
// readFile and writeFile hold a console break back until the transfer has finished.
int readFile(FileHandle handle, void* buffer, uint32_t count, uint32_t* bytesRead);
// A program that owns its console break takes it over once, at start-up: every transfer then
// holds it back without a call to the system (on Linux, two signal-mask calls a transfer cost
// 5 % of a test run). False, with nothing changed, where the break is not in its default
// handling, and on Windows, where each transfer installs the console handler as before.
bool takeConsoleBreak();
int writeFile(FileHandle handle, const void* buffer, uint32_t count, uint32_t* bytesWritten);
int closeFile(FileHandle handle);
int truncateFile(FileHandle handle);
// Positions are 64-bit: archives and entries pass 4 GiB. A failed seek leaves *newPosition
// untouched.
int seekFile(FileHandle handle, int64_t distance, uint64_t* newPosition, int origin);

// --- the stream object -------------------------------------------------------------------
class FileStream {
 public:
  // Opens the file; never reports. Callers test isOpen() and read lastError() for the reason.
  FileStream(const char* name, uint32_t access, uint32_t share, uint32_t creation,
             uint32_t flagsAndAttributes);
  virtual ~FileStream();

  // 0 when the OS read succeeded, also for a short read at end of file; 1 on failure.
  virtual int read(void* buffer, uint32_t count, uint32_t* bytesRead);
  // 0 when all count bytes were written, 1 when fewer were.
  virtual int write(const void* buffer, uint32_t count, uint32_t* bytesWritten);
  virtual int isOpen() const;
  virtual int status() const;
  // The size recorded when the stream was opened (not re-read).
  virtual uint64_t size() const;
  // Returns the position afterwards; a failed seek leaves it unchanged.
  virtual uint64_t seek(int64_t distance, int origin);
  virtual int rewind();
  virtual int truncate();
  virtual void close();

  FileHandle handle() const { return handle_; }
  uint64_t position() const { return position_; }
  const char* name() const { return name_.c_str(); }
  const FindInfo& info() const { return info_; }

  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;

 protected:
  uint64_t position_ = 0;
  Text name_;
  FileHandle handle_ = kInvalidHandle;
  FindInfo info_ = {};
};

// --- services ----------------------------------------------------------------------------
int makeDirectory(const char* path, void* securityAttributes);
int deleteFile(const char* path);
// Puts replacement in replaced's place in one step: whoever looks finds the old file whole or
// the new one whole, never neither. Windows keeps what it keeps on a replace (the old file's
// security, its creation time, named streams the new one lacks); the caller sets times and
// attributes afterwards. Both are in the same folder.
int replaceFile(const char* replaced, const char* replacement);
// A clock that only goes forward, in units of the system's own (to vary names, not to time).
uint64_t monotonicTicks();
// A file of ours that a console break must not leave behind (one written beside the file it is
// to replace): noted while it is being made, forgotten once it is in place or gone. A break
// that ends the process removes what is noted, where the platform lets it.
void noteUnfinishedFile(const char* path);
void forgetUnfinishedFile(const char* path);
// Full path into out (kLongPathSize chars); returns the file part inside out, or null when the path
// could not be resolved (out then holds a copy of path).
char* fullPathOf(char* out, const char* path);
int getAttributes(const char* path, uint32_t* attributes);
// True when path itself is a symbolic link, junction or other reparse point (not followed);
// *exists says whether anything is there at all.
bool isReparsePoint(const char* path, bool* exists);
// Applies the compressed attribute through the file system where the platform has one.
int setAttributes(const char* path, uint32_t attributes);
int dosToFileTime(uint16_t dosDate, uint16_t dosTime, FileTime* out);
uint32_t toDosDateTime(const FileTime& time);
int fileTimesOf(FileHandle handle, uint32_t* creation, uint32_t* lastAccess, uint32_t* lastWrite);
// DOS date-times (or null to leave a time alone), unless raw times are given: then the three
// raw times (creation, last access, last write) are used, filtered by timeSelection
// (bit 0 last access, bit 1 last write, bit 2 creation).
int setFileTimes(FileHandle handle, const char* path, const uint32_t* creation,
                 const uint32_t* lastAccess, const uint32_t* lastWrite, const FileTime* rawTimes,
                 unsigned timeSelection);
// With a drive path the first '.' of label becomes a blank (in the caller's buffer).
int setVolumeLabel(const char* drivePath, char* label);
SearchHandle findFirst(const char* pattern, FindInfo* info);
int findNext(SearchHandle search, FindInfo* info);
int endSearch(SearchHandle search);
int lastError();
// label must hold kPathSize characters.
int volumeLabelOf(const char* path, char* label, void* unused, uint32_t* serial);
int driveTypeOf(const char* path);
int getCurrentDir(char* out);
int setCurrentDir(const char* path);
char* shortPathOf(char* out, const char* path, uint32_t size);
char* upperCaseText(char* text);
int upperCaseChar(int c);
// The first ':' when mode is 1, else the last; null when there is none.
char* findColon(const char* text, int mode);
uint32_t keepAttributes(uint32_t attributes);
void expandYear(uint16_t* year);

// --- named streams ------------------------------------------------------------------------
// The stream in which Windows keeps where a file came from (its zone: the internet, ...).
inline constexpr char kZoneIdentifierStream[] = "Zone.Identifier";  // one copy in a program
// Longest named stream read; a zone record is a few hundred bytes.
constexpr uint32_t kNamedStreamMax = 4096;
// A named (alternate) stream of a file, only where the file's volume keeps named streams:
// elsewhere there is none to read and none is written (a system that takes "name:stream" for
// a file name of its own would otherwise get a file beside each one). Windows: the stream
// itself; Linux: the extended attribute "user." + stream. readNamedStream: 0 with the bytes in
// *out, 1 when there is none (or it is longer than kNamedStreamMax).
int readNamedStream(const char* path, const char* stream, Text* out);
int writeNamedStream(const char* path, const char* stream, const Text& data);

// The program's own file (260 chars); 0 on success.
int moduleFileName(char* out, int size);
// The temporary directory, ending in a separator; returns its length (0 on failure).
int tempDirectory(char* out, int size);
