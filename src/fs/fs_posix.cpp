// The file layer on POSIX systems: the Win32 file services this program was built around,
// reproduced on top of Linux calls. Paths arrive in the ANSI code page (1252) with '/' or '\\'
// separators and are handed to the system in UTF-8; names coming back are turned into 1252.
// Errors are kept as the Win32 numbers the callers test, in a value of our own, because errno
// does not survive the calls a caller makes before asking.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <vector>

#include "fs/fs.h"
#include "fs/posix_layer.h"
#include "fs/text.h"

namespace posix_layer {

// Win32 error numbers beyond those fs.h names.
constexpr int kErrorInvalidFunction = 1;
constexpr int kErrorTooManyOpenFiles = 4;
constexpr int kErrorNotEnoughMemory = 8;
constexpr int kErrorNotSameDevice = 17;
constexpr int kErrorWriteProtect = 19;
constexpr int kErrorGenFailure = 31;
constexpr int kErrorSharingViolation = 32;
constexpr int kErrorNotSupported = 50;
constexpr int kErrorInvalidParameter = 87;
constexpr int kErrorDiskFull = 112;
constexpr int kErrorInvalidName = 123;
constexpr int kErrorNegativeSeek = 131;
constexpr int kErrorDirNotEmpty = 145;
constexpr int kErrorFilenameTooLong = 206;
constexpr int kErrorFileTooLarge = 223;
constexpr int kErrorIoDevice = 1117;

constexpr uint32_t kOpenAlways = 4;
constexpr uint32_t kTruncateExisting = 5;

constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

// Seconds from 1601-01-01 (the file-time epoch) to 1970-01-01.
constexpr int64_t kFileTimeEpochOffset = 11644473600LL;
constexpr uint64_t kFileTimeUnitsPerSecond = 10000000ULL;

// Per thread, as the system's last error is: workers of a run use this layer side by side.
thread_local int gLastError = 0;

int Fail(int win32Error) {
  gLastError = win32Error;
  return 1;
}

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return stat(path.empty() ? "." : path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Win32 tells a missing file (2) from a missing directory on the way to it (3).
int MissingError(const std::string& osPath) {
  size_t slash = osPath.find_last_of('/');
  if (slash == std::string::npos) return kErrorFileNotFound;
  return DirectoryExists(osPath.substr(0, slash + 1)) ? kErrorFileNotFound : kErrorPathNotFound;
}

int FailErrno(int error, const std::string& osPath) {
  switch (error) {
    case ENOENT: return Fail(osPath.empty() ? kErrorFileNotFound : MissingError(osPath));
    case ENOTDIR: return Fail(kErrorPathNotFound);
    case EACCES:
    case EPERM:
    case EISDIR: return Fail(kErrorAccessDenied);
    case EROFS: return Fail(kErrorWriteProtect);
    case EEXIST: return Fail(kErrorAlreadyExists);
    case ENOTEMPTY: return Fail(kErrorDirNotEmpty);
    case ENOSPC:
    case EDQUOT: return Fail(kErrorDiskFull);
    case EBADF: return Fail(kErrorInvalidHandle);
    case EMFILE:
    case ENFILE: return Fail(kErrorTooManyOpenFiles);
    case ENOMEM: return Fail(kErrorNotEnoughMemory);
    case ENAMETOOLONG: return Fail(kErrorFilenameTooLong);
    case EINVAL: return Fail(kErrorInvalidParameter);
    case EBUSY:
    case ETXTBSY: return Fail(kErrorSharingViolation);
    case EXDEV: return Fail(kErrorNotSameDevice);
    case EFBIG:
    case EOVERFLOW: return Fail(kErrorFileTooLarge);
    case ESPIPE: return Fail(kErrorInvalidFunction);
    case ENOMEDIUM: return Fail(kErrorNotReady);
    case EIO: return Fail(kErrorIoDevice);
    default: return Fail(kErrorGenFailure);
  }
}

// A path as the system takes it: '/' separators (paths are UTF-8 on both sides).
std::string OsPath(const char* path) {
  std::string os = path ? path : "";
  std::replace(os.begin(), os.end(), '\\', '/');
  return os;
}

// A name or path as the callers take it. A backslash in a Linux name would read as a separator
// on the way back in: it becomes '_'.
std::string EnginePath(const std::string& os) {
  std::string path = os;
  std::replace(path.begin(), path.end(), '\\', '_');
  return path;
}

// Copies text into a caller's buffer of size characters; false when it does not fit.
bool CopyOut(char* out, size_t size, const std::string& text) {
  if (text.size() + 1 > size) return false;
  std::memcpy(out, text.c_str(), text.size() + 1);
  return true;
}

// --- times ---------------------------------------------------------------------------------

FileTime FileTimeOf(int64_t seconds, long nanoseconds) {
  if (seconds < -kFileTimeEpochOffset) return FileTime{0, 0};
  uint64_t units = static_cast<uint64_t>(seconds + kFileTimeEpochOffset) * kFileTimeUnitsPerSecond +
                   static_cast<uint64_t>(nanoseconds) / 100;
  return FileTime{static_cast<uint32_t>(units), static_cast<uint32_t>(units >> 32)};
}

uint64_t UnitsOf(const FileTime& time) { return (static_cast<uint64_t>(time.high) << 32) | time.low; }

timespec TimespecOf(const FileTime& time) {
  uint64_t units = UnitsOf(time);
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(static_cast<int64_t>(units / kFileTimeUnitsPerSecond) -
                                  kFileTimeEpochOffset);
  ts.tv_nsec = static_cast<long>(units % kFileTimeUnitsPerSecond) * 100;
  return ts;
}

// statx gives the birth time where the file system keeps one; elsewhere the last status change
// is the nearest the system knows to a creation time.
bool Inspect(int directory, const char* path, int flags, Meta* meta) {
  struct statx sx;
  if (statx(directory, path, flags, STATX_BASIC_STATS | STATX_BTIME, &sx) == 0) {
    meta->mode = sx.stx_mode;
    meta->size = sx.stx_size;
    meta->lastAccess = FileTimeOf(sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec);
    meta->lastWrite = FileTimeOf(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
    meta->creation = (sx.stx_mask & STATX_BTIME)
                         ? FileTimeOf(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec)
                         : FileTimeOf(sx.stx_ctime.tv_sec, sx.stx_ctime.tv_nsec);
    return true;
  }
  if (errno != ENOSYS) return false;
  struct stat st;
  if (fstatat(directory, path, &st, flags) != 0) return false;
  meta->mode = st.st_mode;
  meta->size = static_cast<uint64_t>(st.st_size);
  meta->lastAccess = FileTimeOf(st.st_atim.tv_sec, st.st_atim.tv_nsec);
  meta->lastWrite = FileTimeOf(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  meta->creation = FileTimeOf(st.st_ctim.tv_sec, st.st_ctim.tv_nsec);
  return true;
}

// --- attributes ----------------------------------------------------------------------------

bool IsReadOnly(mode_t mode) { return !S_ISDIR(mode) && (mode & kWriteBits) == 0; }

// A directory never shows read-only: on Windows that bit does not stop files being made in it,
// and taking the write bits away from a Linux directory would.
uint32_t AttributesOf(mode_t mode) {
  if (S_ISDIR(mode)) return kAttrDirectory;
  // A pipe or a device is written through, never replaced: Windows marks such names as devices.
  return kAttrArchive | (IsReadOnly(mode) ? kAttrReadOnly : 0) | (S_ISREG(mode) ? 0 : kAttrDevice);
}

mode_t ProcessUmask() {
  static mode_t mask = [] {
    // Read without umask(), which would change the mask for a moment.
    mode_t value = 022;
    if (std::FILE* status = std::fopen("/proc/self/status", "r")) {
      char line[128];
      while (std::fgets(line, sizeof line, status)) {
        unsigned parsed;
        if (std::sscanf(line, "Umask: %o", &parsed) == 1) {
          value = static_cast<mode_t>(parsed);
          break;
        }
      }
      std::fclose(status);
    }
    return value;
  }();
  return mask;
}

// --- console break deferral ------------------------------------------------------------------

// Once the program has taken the break over (takeConsoleBreak), its handler notes a break that
// comes during a transfer and gives any other the default handling at once. Transfers of several
// threads (the workers of a run) overlap: the break waits until the last of them has ended.
volatile sig_atomic_t gBreakTaken = 0;
std::atomic<int> gInTransfer{0};
volatile sig_atomic_t gBreakPending = 0;
static_assert(std::atomic<int>::is_always_lock_free, "read in a signal handler");

// The files a break must not leave behind (fs.h: noteUnfinishedFile), as the system names them.
// A signal handler reads them, so slots of atomic pointers and no lock; once a break is ending
// the process, a forgotten name is not freed, as the handler may still be reading it.
constexpr int kUnfinishedSlots = 512;
using NotedPath = std::atomic<char*>;
NotedPath gUnfinished[kUnfinishedSlots];
std::atomic<int> gEndingByBreak{0};

void RemoveUnfinishedFiles() {
  gEndingByBreak.store(1);
  for (NotedPath& slot : gUnfinished) {
    if (const char* path = slot.load()) unlink(path);  // async-signal-safe
  }
}

void EndByBreak() {
  RemoveUnfinishedFiles();
  signal(SIGINT, SIG_DFL);
  raise(SIGINT);
}

void TakenBreakHandler(int) {
  if (gInTransfer.load() > 0) {
    gBreakPending = 1;
    return;
  }
  EndByBreak();
}

// Holds SIGINT back for one transfer, so that its default handling takes place right after the
// transfer instead of in the middle of it: with the break taken over, by a count its handler reads;
// otherwise by blocking it, and restoring the mask delivers a break that arrived meanwhile.
class BreakDeferral {
 public:
  BreakDeferral() {
    if (gBreakTaken) {
      gInTransfer.fetch_add(1);
      return;
    }
    sigset_t block;
    sigemptyset(&block);
    sigaddset(&block, SIGINT);
    active_ = pthread_sigmask(SIG_BLOCK, &block, &saved_) == 0;
  }
  ~BreakDeferral() {
    if (gBreakTaken) {
      if (gInTransfer.fetch_sub(1) == 1 && gBreakPending) EndByBreak();
      return;
    }
    if (active_) pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
  }
  BreakDeferral(const BreakDeferral&) = delete;
  BreakDeferral& operator=(const BreakDeferral&) = delete;

 private:
  sigset_t saved_;
  bool active_ = false;
};

int DescriptorOf(FileHandle handle) {
  return handle < 0 || handle > INT_MAX ? -1 : static_cast<int>(handle);
}

}  // namespace posix_layer

using namespace posix_layer;

// --- handle level ----------------------------------------------------------------------------

FileHandle createFile(const char* name, uint32_t access, uint32_t share, uint32_t creation,
                      uint32_t flagsAndAttributes) {
  // Sharing modes have no counterpart: Linux does not lock files against other openers.
  if (!name || !*name) {
    Fail(kErrorPathNotFound);
    return kInvalidHandle;
  }
  // Wildcards cannot be part of a Windows name, and a file named with them could not be found
  // again by its own name through a search.
  if (std::strpbrk(name, "*?")) {
    Fail(kErrorInvalidName);
    return kInvalidHandle;
  }
  const std::string path = OsPath(name);
  const bool reading = (access & kGenericRead) != 0;
  const bool writing = (access & kGenericWrite) != 0;
  int flags = O_CLOEXEC | O_NOCTTY;
  flags |= reading && writing ? O_RDWR : writing ? O_WRONLY : O_RDONLY;
  switch (creation) {
    case kCreateNew: flags |= O_CREAT | O_EXCL; break;
    case kCreateAlways: flags |= O_CREAT | O_TRUNC; break;
    case kOpenExisting: break;
    case kOpenAlways: flags |= O_CREAT; break;
    case kTruncateExisting: flags |= O_TRUNC; break;
    default:
      Fail(kErrorInvalidParameter);
      return kInvalidHandle;
  }

  // Windows refuses what Linux would allow its owner (or root): writing or replacing a file
  // marked read-only, and opening a directory as a file.
  struct stat existing;
  const bool exists = stat(path.c_str(), &existing) == 0;
  if (exists) {
    if (S_ISDIR(existing.st_mode)) {
      Fail(kErrorAccessDenied);
      return kInvalidHandle;
    }
    if (creation == kCreateNew) {
      Fail(kErrorFileExists);
      return kInvalidHandle;
    }
    if (S_ISREG(existing.st_mode) && IsReadOnly(existing.st_mode) &&
        (writing || (flags & O_TRUNC))) {
      Fail(kErrorAccessDenied);
      return kInvalidHandle;
    }
  }

  const mode_t mode = (flagsAndAttributes & kAttrReadOnly) ? 0444 : 0666;
  const bool creating = !exists && (flags & O_CREAT);
  ListingChange change(creating ? path : std::string());
  int fd;
  do {
    fd = open(path.c_str(), flags, mode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    FailErrno(errno, path);
    return kInvalidHandle;
  }
  if (creating) change.added();
  struct stat opened;
  if (fstat(fd, &opened) == 0 && S_ISDIR(opened.st_mode)) {
    close(fd);
    Fail(kErrorAccessDenied);
    return kInvalidHandle;
  }
  // Replacing a file gives it the attributes asked for, as a new one would get them.
  if (exists && (flags & O_TRUNC) && (flagsAndAttributes & kAttrReadOnly) && S_ISREG(opened.st_mode)) {
    fchmod(fd, opened.st_mode & ~kWriteBits & 07777);
  }
  return fd;
}

bool takeConsoleBreak() {
  if (gBreakTaken) return true;
  struct sigaction current;
  if (sigaction(SIGINT, nullptr, &current) != 0) return false;
  if ((current.sa_flags & SA_SIGINFO) || current.sa_handler != SIG_DFL) return false;
  struct sigaction taken {};
  taken.sa_handler = TakenBreakHandler;
  sigemptyset(&taken.sa_mask);
  taken.sa_flags = SA_RESTART;
  if (sigaction(SIGINT, &taken, nullptr) != 0) return false;
  gBreakTaken = 1;
  return true;
}

int readFile(FileHandle handle, void* buffer, uint32_t count, uint32_t* bytesRead) {
  if (bytesRead) *bytesRead = 0;
  const int fd = DescriptorOf(handle);
  if (fd < 0) return Fail(kErrorInvalidHandle);
  ssize_t got;
  int error = 0;
  {
    BreakDeferral deferral;
    do {
      got = ::read(fd, buffer, count);
    } while (got < 0 && errno == EINTR);
    if (got < 0) error = errno;
  }
  if (got < 0) return FailErrno(error);
  if (bytesRead) *bytesRead = static_cast<uint32_t>(got);
  return 0;
}

int writeFile(FileHandle handle, const void* buffer, uint32_t count, uint32_t* bytesWritten) {
  if (bytesWritten) *bytesWritten = 0;
  const int fd = DescriptorOf(handle);
  if (fd < 0) return Fail(kErrorInvalidHandle);
  const char* bytes = static_cast<const char*>(buffer);
  uint32_t done = 0;
  int error = 0;
  {
    BreakDeferral deferral;
    // A disk file takes the whole buffer or reports why not; the loop covers pipes and devices.
    while (done < count) {
      ssize_t put = ::write(fd, bytes + done, count - done);
      if (put < 0) {
        if (errno == EINTR) continue;
        error = errno;
        break;
      }
      if (put == 0) {
        error = ENOSPC;
        break;
      }
      done += static_cast<uint32_t>(put);
    }
  }
  if (bytesWritten) *bytesWritten = done;
  return error ? FailErrno(error) : 0;
}

int closeFile(FileHandle handle) {
  const int fd = DescriptorOf(handle);
  if (fd < 0) return Fail(kErrorInvalidHandle);
  // Linux releases the descriptor even when close reports EINTR; retrying could close another.
  if (close(fd) != 0 && errno != EINTR) return FailErrno(errno);
  return 0;
}

int truncateFile(FileHandle handle) {
  const int fd = DescriptorOf(handle);
  if (fd < 0) return Fail(kErrorInvalidHandle);
  off_t here = lseek(fd, 0, SEEK_CUR);
  if (here < 0 || ftruncate(fd, here) != 0) return FailErrno(errno);
  return 0;
}

int seekFile(FileHandle handle, int64_t distance, uint64_t* newPosition, int origin) {
  const int fd = DescriptorOf(handle);
  if (fd < 0) return Fail(kErrorInvalidHandle);
  if (origin == kSeekStart && distance >= 0) {
    // One call: a position from the start needs no current one, and a pipe refuses it alike.
    if (lseek(fd, static_cast<off_t>(distance), SEEK_SET) < 0) return FailErrno(errno);
    if (newPosition) *newPosition = static_cast<uint64_t>(distance);
    return 0;
  }
  if (origin == kSeekCurrent) {
    // One call too. Linux refuses a negative result and leaves the position.
    const off_t target = lseek(fd, static_cast<off_t>(distance), SEEK_CUR);
    if (target < 0) return errno == EINVAL && distance < 0 ? Fail(kErrorNegativeSeek) : FailErrno(errno);
    if (newPosition) *newPosition = static_cast<uint64_t>(target);
    return 0;
  }
  off_t here = lseek(fd, 0, SEEK_CUR);  // also tells a pipe, which cannot seek
  if (here < 0) return FailErrno(errno);
  int64_t base;
  switch (origin) {
    case kSeekStart: base = 0; break;
    case kSeekEnd: {
      struct stat st;
      if (fstat(fd, &st) != 0) return FailErrno(errno);
      base = st.st_size;
      break;
    }
    default: return Fail(kErrorInvalidParameter);
  }
  // Past INT64_MAX is no position; a distance that would carry there is refused, not wrapped.
  if (distance > 0 && base > INT64_MAX - distance) return Fail(kErrorInvalidParameter);
  const int64_t target = base + distance;
  if (target < 0) return Fail(kErrorNegativeSeek);
  if (lseek(fd, static_cast<off_t>(target), SEEK_SET) < 0) return FailErrno(errno);
  if (newPosition) *newPosition = static_cast<uint64_t>(target);
  return 0;
}

// --- services --------------------------------------------------------------------------------

int makeDirectory(const char* path, void* securityAttributes) {
  const std::string os = OsPath(path);
  if (os.empty()) return Fail(kErrorPathNotFound);
  ListingChange change(os);
  if (mkdir(os.c_str(), 0777) != 0) return FailErrno(errno, os);
  change.added();
  return 0;
}

int replaceFile(const char* replaced, const char* replacement) {
  const std::string from = OsPath(replacement);
  const std::string to = OsPath(replaced);
  if (from.empty() || to.empty()) return Fail(kErrorPathNotFound);
  ListingChange change(from);
  // Swapping the two names puts the new file in place in one step, as a rename does; but a
  // rename over an existing file makes ext4 write the new file's data out at once (its guard
  // for programs that replace files without syncing them), some milliseconds a file. After the
  // swap our name holds the old file, which goes. Where the system cannot swap (an older
  // kernel, a file system without it, nothing at the old name any more), a rename.
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE) == 0) {
    if (unlink(from.c_str()) != 0) {
      // Something other than a file stood there (a folder put in its place meanwhile): back.
      const int error = errno;
      renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE);
      return FailErrno(error, to);
    }
    change.removed();
    return 0;
  }
  if (rename(from.c_str(), to.c_str()) != 0) return FailErrno(errno, to);
  change.removed();
  return 0;
}

void noteUnfinishedFile(const char* path) {
  const std::string os = OsPath(path);
  char* copy = new (std::nothrow) char[os.size() + 1];
  if (!copy) return;
  std::memcpy(copy, os.c_str(), os.size() + 1);
  for (NotedPath& slot : gUnfinished) {
    char* empty = nullptr;
    if (slot.compare_exchange_strong(empty, copy)) return;
  }
  delete[] copy;  // more at once than a run ever has: this one is left to a kill's fate
}

void forgetUnfinishedFile(const char* path) {
  const std::string os = OsPath(path);
  for (NotedPath& slot : gUnfinished) {
    char* noted = slot.load();
    if (!noted || os != noted) continue;
    if (slot.compare_exchange_strong(noted, nullptr)) {
      if (!gEndingByBreak.load()) delete[] noted;
      return;
    }
  }
}

uint64_t monotonicTicks() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

int deleteFile(const char* path) {
  const std::string os = OsPath(path);
  if (os.empty()) return Fail(kErrorPathNotFound);
  struct stat st;
  if (lstat(os.c_str(), &st) == 0) {
    // Windows deletes neither directories nor read-only files through this call.
    if (S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && IsReadOnly(st.st_mode))) {
      return Fail(kErrorAccessDenied);
    }
  }
  ListingChange change(os);
  if (unlink(os.c_str()) != 0) return FailErrno(errno, os);
  change.removed();
  return 0;
}

char* fullPathOf(char* out, const char* path) {
  std::string os = OsPath(path);
  auto fallBack = [&]() -> char* {
    std::snprintf(out, kLongPathSize, "%s", path);
    return nullptr;
  };
  if (os.empty()) {
    Fail(kErrorInvalidName);
    return fallBack();
  }
  const bool endsInSeparator = os.back() == '/';
  if (os[0] != '/') {
    char* cwd = getcwd(nullptr, 0);
    if (!cwd) {
      FailErrno(errno);
      return fallBack();
    }
    os = std::string(cwd) + "/" + os;
    std::free(cwd);
  }

  std::vector<std::string> parts;
  for (size_t start = 0; start <= os.size();) {
    size_t end = os.find('/', start);
    if (end == std::string::npos) end = os.size();
    std::string part = os.substr(start, end - start);
    if (!part.empty() && part != ".") parts.push_back(part);
    start = end + 1;
  }

  // The longest leading part that exists is resolved by the system (links included); the rest,
  // which does not exist yet, is folded by hand as Windows folds every path.
  std::string resolved = "/";
  size_t kept = 0;
  for (size_t k = parts.size(); k > 0; --k) {
    std::string prefix;
    for (size_t i = 0; i < k; ++i) prefix += "/" + parts[i];
    if (char* real = realpath(prefix.c_str(), nullptr)) {
      resolved = real;
      std::free(real);
      kept = k;
      break;
    }
  }
  for (size_t i = kept; i < parts.size(); ++i) {
    if (parts[i] == "..") {
      size_t slash = resolved.find_last_of('/');
      resolved.erase(slash == 0 ? 1 : slash);
    } else {
      if (resolved.back() != '/') resolved += '/';
      resolved += parts[i];
    }
  }
  if (endsInSeparator && resolved.back() != '/') resolved += '/';

  const std::string engine = EnginePath(resolved);
  if (!CopyOut(out, kLongPathSize, engine)) {
    Fail(kErrorFilenameTooLong);
    return fallBack();
  }
  char* separator = std::strrchr(out, '/');
  return separator && separator[1] ? separator + 1 : nullptr;
}

int getAttributes(const char* path, uint32_t* attributes) {
  const std::string os = OsPath(path);
  struct stat st;
  if (os.empty() || stat(os.c_str(), &st) != 0) {
    int error = os.empty() ? ENOENT : errno;
    if (attributes) *attributes = kInvalidAttributes;
    return FailErrno(error, os);
  }
  if (attributes) *attributes = AttributesOf(st.st_mode);
  return 0;
}

bool isReparsePoint(const char* path, bool* exists) {
  const std::string os = OsPath(path);
  struct stat st;
  *exists = !os.empty() && lstat(os.c_str(), &st) == 0;
  return *exists && S_ISLNK(st.st_mode);
}

int setAttributes(const char* path, uint32_t attributes) {
  // Only read-only has a Linux form (the write bits); hidden, system, archive and compressed are
  // accepted and have no effect, as on a file system that does not keep them.
  const std::string os = OsPath(path);
  struct stat st;
  if (os.empty() || stat(os.c_str(), &st) != 0) return FailErrno(os.empty() ? ENOENT : errno, os);
  if (S_ISDIR(st.st_mode)) return 0;
  mode_t mode = st.st_mode & 07777;
  mode_t wanted = mode;
  if (attributes & kAttrReadOnly) {
    wanted = mode & ~kWriteBits;
  } else if (IsReadOnly(st.st_mode)) {
    // Writable for whoever may read it, within the process's umask, and always for the owner.
    wanted = mode | S_IWUSR | (((mode & (S_IRGRP | S_IROTH)) >> 1) & ~ProcessUmask());
  }
  if (wanted != mode && chmod(os.c_str(), wanted) != 0) return FailErrno(errno, os);
  return 0;
}

int dosToFileTime(uint16_t dosDate, uint16_t dosTime, FileTime* out) {
  std::tm fields{};
  fields.tm_year = 80 + (dosDate >> 9);
  fields.tm_mon = ((dosDate >> 5) & 0x0F) - 1;
  fields.tm_mday = dosDate & 0x1F;
  fields.tm_hour = dosTime >> 11;
  fields.tm_min = (dosTime >> 5) & 0x3F;
  fields.tm_sec = 2 * (dosTime & 0x1F);
  fields.tm_isdst = -1;
  static constexpr int kDaysInMonth[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const int year = 1900 + fields.tm_year;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (fields.tm_mon < 0 || fields.tm_mon > 11 || fields.tm_mday < 1 ||
      fields.tm_mday > kDaysInMonth[fields.tm_mon] ||
      (fields.tm_mon == 1 && fields.tm_mday == 29 && !leap) || fields.tm_hour > 23 ||
      fields.tm_min > 59 || fields.tm_sec > 59) {
    return Fail(kErrorInvalidParameter);
  }
  const time_t seconds = mktime(&fields);
  if (seconds == static_cast<time_t>(-1)) return Fail(kErrorInvalidParameter);
  *out = FileTimeOf(seconds, 0);
  return 0;
}

// Local time by the time zone rules of the moment itself, daylight saving included.
uint32_t toDosDateTime(const FileTime& time) {
  const time_t seconds =
      static_cast<time_t>(static_cast<int64_t>(UnitsOf(time) / kFileTimeUnitsPerSecond) -
                          kFileTimeEpochOffset);
  std::tm local{};
  if (!localtime_r(&seconds, &local)) return 0;
  const int year = local.tm_year + 1900;
  if (year < 1980 || year > 2107) return 0;
  const int second = std::min(local.tm_sec, 59);  // a leap second has no DOS form
  const uint32_t date = static_cast<uint32_t>(((year - 1980) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
  const uint32_t clock = static_cast<uint32_t>((local.tm_hour << 11) | (local.tm_min << 5) | (second / 2));
  return (date << 16) | clock;
}

int fileTimesOf(FileHandle handle, uint32_t* creation, uint32_t* lastAccess, uint32_t* lastWrite) {
  Meta meta;
  const int fd = DescriptorOf(handle);
  int result = 0;
  if (fd < 0) {
    result = Fail(kErrorInvalidHandle);
  } else if (!Inspect(fd, "", AT_EMPTY_PATH, &meta)) {
    result = FailErrno(errno);
  }
  if (creation) *creation = result ? 0 : toDosDateTime(meta.creation);
  if (lastAccess) *lastAccess = result ? 0 : toDosDateTime(meta.lastAccess);
  if (lastWrite) *lastWrite = result ? 0 : toDosDateTime(meta.lastWrite);
  return result;
}

// Linux cannot set a file's creation (birth) time: that time is accepted and left alone.
int setFileTimes(FileHandle handle, const char* path, const uint32_t* creation,
                 const uint32_t* lastAccess, const uint32_t* lastWrite, const FileTime* rawTimes,
                 unsigned timeSelection) {
  const int fd = DescriptorOf(handle);
  if (fd < 0) return Fail(kErrorInvalidHandle);
  timespec times[2];  // last access, last write
  times[0].tv_sec = times[1].tv_sec = 0;
  times[0].tv_nsec = times[1].tv_nsec = UTIME_OMIT;
  if (rawTimes) {
    // A zero file time means "not stored" and leaves that time alone, as it does on Windows.
    auto stored = [](const FileTime& t) { return t.low != 0 || t.high != 0; };
    if ((timeSelection & 1) && stored(rawTimes[1])) times[0] = TimespecOf(rawTimes[1]);
    if ((timeSelection & 2) && stored(rawTimes[2])) times[1] = TimespecOf(rawTimes[2]);
  } else {
    // A DOS value that names no real moment leaves that time as it is.
    FileTime converted;
    if (lastAccess && dosToFileTime(static_cast<uint16_t>(*lastAccess >> 16),
                                    static_cast<uint16_t>(*lastAccess), &converted) == 0) {
      times[0] = TimespecOf(converted);
    }
    if (lastWrite && dosToFileTime(static_cast<uint16_t>(*lastWrite >> 16),
                                   static_cast<uint16_t>(*lastWrite), &converted) == 0) {
      times[1] = TimespecOf(converted);
    }
  }
  if (futimens(fd, times) != 0) return FailErrno(errno);
  return 0;
}

// Linux file systems have no volume label that this program could read or write.
int setVolumeLabel(const char* drivePath, char* label) {
  if (drivePath && label) {
    if (char* dot = std::strchr(label, '.')) *dot = ' ';
  }
  return Fail(kErrorNotSupported);
}

int volumeLabelOf(const char* path, char* label, void* unused, uint32_t* serial) {
  if (serial) *serial = 0;
  if (label) label[0] = '\0';
  return Fail(kErrorNotSupported);
}

int driveTypeOf(const char* path) { return kDriveFixed; }

int lastError() { return gLastError; }

int getCurrentDir(char* out) {
  char* cwd = getcwd(nullptr, 0);
  if (!cwd) return FailErrno(errno);
  const std::string engine = EnginePath(cwd);
  std::free(cwd);
  if (!CopyOut(out, kPathSize, engine)) return Fail(kErrorFilenameTooLong);
  return 0;
}

int setCurrentDir(const char* path) {
  const std::string os = OsPath(path);
  if (os.empty()) return Fail(kErrorPathNotFound);
  if (chdir(os.c_str()) != 0) return FailErrno(errno, os);
  return 0;
}

// Without 8.3 aliases the short form of a path is the path itself.
char* shortPathOf(char* out, const char* path, uint32_t size) {
  if (size == 0 || out == path) return out;
  std::snprintf(out, size, "%s", path);
  return out;
}

int moduleFileName(char* out, int size) {
  if (size <= 0) return Fail(kErrorInvalidParameter);
  std::vector<char> link(PATH_MAX + 1);
  ssize_t length = readlink("/proc/self/exe", link.data(), PATH_MAX);
  if (length < 0) return FailErrno(errno);
  const std::string engine = EnginePath(std::string(link.data(), static_cast<size_t>(length)));
  if (!CopyOut(out, static_cast<size_t>(size), engine)) return Fail(kErrorFilenameTooLong);
  return 0;
}

int tempDirectory(char* out, int size) {
  const char* variable = std::getenv("TMPDIR");
  std::string directory = variable && *variable ? variable : "/tmp/";
  if (directory.back() != '/') directory += '/';
  const std::string engine = EnginePath(directory);
  if (size <= 0 || !CopyOut(out, static_cast<size_t>(size), engine)) {
    Fail(kErrorFilenameTooLong);
    return 0;
  }
  return static_cast<int>(engine.size());
}

// --- named streams -------------------------------------------------------------------------
// A file system without user attributes answers ENOTSUP: the stream is then neither read nor
// written, as on a Windows volume without named streams.
int readNamedStream(const char* path, const char* stream, Text* out) {
  const std::string attribute = std::string("user.") + stream;
  char buffer[kNamedStreamMax];
  ssize_t got = getxattr(OsPath(path).c_str(), attribute.c_str(), buffer, sizeof buffer);
  if (got < 0) return 1;  // none: not a failure to report
  out->assign(buffer, static_cast<size_t>(got));
  return 0;
}

int writeNamedStream(const char* path, const char* stream, const Text& data) {
  const std::string attribute = std::string("user.") + stream;
  if (setxattr(OsPath(path).c_str(), attribute.c_str(), data.c_str(), data.size(), 0) != 0) {
    return FailErrno(errno, OsPath(path));
  }
  return 0;
}
