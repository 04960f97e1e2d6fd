// The file layer on Windows: thin wrappers over the KERNEL32 wide-character services, with
// paths turned from UTF-8 into UTF-16 (in the long "\\?\" form where the classic calls would
// stop), times into local DOS date-times and directory entries into FindInfo records.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "fs/format.h"
#include "fs/fs.h"
#include "fs/text.h"
#include "fs/wide_win32.h"

namespace {

// Set from the console's control thread; read by the transferring thread after each transfer.
volatile int gBreakPending = 0;

BOOL WINAPI BreakHandler(DWORD event) {
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) gBreakPending = 1;
  return TRUE;
}

// A break that arrived during the transfer is raised again afterwards, so the default handling
// ends the process only once the transfer is complete. The transfer's own error survives.
void AfterTransfer() {
  DWORD error = GetLastError();
  SetConsoleCtrlHandler(BreakHandler, FALSE);
  if (gBreakPending) GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
  SetLastError(error);
}

HANDLE HandleOf(FileHandle handle) { return reinterpret_cast<HANDLE>(handle); }

constexpr DWORD kSetCompression = 0x9C040;  // FSCTL_SET_COMPRESSION
constexpr USHORT kCompressionDefault = 1;   // COMPRESSION_FORMAT_DEFAULT

// The root "X:\" of the drive named by the first character of path.
void RootOf(const char* path, char root[4]) {
  root[0] = path[0];
  root[1] = ':';
  root[2] = '\\';
  root[3] = '\0';
}

// Paths from this many UTF-16 units on go in the long form: a directory's path must leave room
// for an 8.3 name within the classic 260.
constexpr int kClassicPathLimit = MAX_PATH - 12;

// A UTF-8 path as the wide-character calls take it. An absolute path too long for the classic
// calls is made whole ("." and ".." folded, '\\' separators, as the long form takes nothing
// else) and given the "\\?\" or "\\?\UNC\" prefix.
class WidePath {
 public:
  explicit WidePath(const char* utf8) {
    const int units = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    if (units <= 0) {
      data_ = new wchar_t[1]();
      return;
    }
    data_ = new wchar_t[units];
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, data_, units);
    if (units - 1 >= kClassicPathLimit && !Prefixed(data_)) MakeLong();
  }
  ~WidePath() { delete[] data_; }
  WidePath(const WidePath&) = delete;
  WidePath& operator=(const WidePath&) = delete;
  const wchar_t* get() const { return data_; }

 private:
  static bool Prefixed(const wchar_t* path) {
    return path[0] == L'\\' && path[1] == L'\\' && (path[2] == L'?' || path[2] == L'.') &&
           path[3] == L'\\';
  }
  void MakeLong() {
    const DWORD size = GetFullPathNameW(data_, 0, nullptr, nullptr);
    if (size == 0) return;
    wchar_t* full = new wchar_t[size + 8];
    const DWORD length = GetFullPathNameW(data_, size, full, nullptr);
    const wchar_t* prefix = nullptr;
    const wchar_t* rest = full;
    if (length == 0 || length >= size) {
      prefix = nullptr;
    } else if (full[0] == L'\\' && full[1] == L'\\') {
      prefix = L"\\\\?\\UNC\\";
      rest = full + 2;
    } else if (full[1] == L':') {
      prefix = L"\\\\?\\";
    }
    if (prefix) {
      const size_t prefixLength = wcslen(prefix);
      const size_t restLength = wcslen(rest);
      wchar_t* made = new wchar_t[prefixLength + restLength + 1];
      std::memcpy(made, prefix, prefixLength * sizeof(wchar_t));
      std::memcpy(made + prefixLength, rest, (restLength + 1) * sizeof(wchar_t));
      delete[] data_;
      data_ = made;
    }
    delete[] full;
  }

  wchar_t* data_ = nullptr;
};

// UTF-16 into out (size bytes) as UTF-8; false, with out empty, when it does not fit.
bool ToUtf8(const wchar_t* wide, int units, char* out, size_t size) {
  if (size == 0) return false;
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide, units, nullptr, 0, nullptr, nullptr);
  if (length < 0 || static_cast<size_t>(length) >= size) {
    out[0] = '\0';
    return units == 0;
  }
  WideCharToMultiByte(CP_UTF8, 0, wide, units, out, length, nullptr, nullptr);
  out[length] = '\0';
  return true;
}

bool ToUtf8(const wchar_t* wide, char* out, size_t size) {
  return ToUtf8(wide, static_cast<int>(wcslen(wide)), out, size);
}

void Fill(const WIN32_FIND_DATAW& found, FindInfo* info) {
  info->attributes = found.dwFileAttributes;
  info->creation = toDosDateTime(FileTime{found.ftCreationTime.dwLowDateTime, found.ftCreationTime.dwHighDateTime});
  info->lastAccess = toDosDateTime(FileTime{found.ftLastAccessTime.dwLowDateTime, found.ftLastAccessTime.dwHighDateTime});
  info->lastWrite = toDosDateTime(FileTime{found.ftLastWriteTime.dwLowDateTime, found.ftLastWriteTime.dwHighDateTime});
  info->size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
  ToUtf8(found.cFileName, info->name, sizeof info->name);
  ToUtf8(found.cAlternateFileName, info->shortName, sizeof info->shortName);
  info->rawTimes[0] = FileTime{found.ftCreationTime.dwLowDateTime, found.ftCreationTime.dwHighDateTime};
  info->rawTimes[1] = FileTime{found.ftLastAccessTime.dwLowDateTime, found.ftLastAccessTime.dwHighDateTime};
  info->rawTimes[2] = FileTime{found.ftLastWriteTime.dwLowDateTime, found.ftLastWriteTime.dwHighDateTime};
}

FILETIME ToWin32(const FileTime& time) {
  FILETIME out;
  out.dwLowDateTime = time.low;
  out.dwHighDateTime = time.high;
  return out;
}

// Copies path into out (size characters), unless they are the same buffer.
void CopyPath(char* out, const char* path, size_t size) {
  if (out != path && size > 0) FormatText(out, size, "%s", path);
}

}  // namespace

// --- handle level ----------------------------------------------------------------------------

FileHandle createFile(const char* name, uint32_t access, uint32_t share, uint32_t creation,
                      uint32_t flagsAndAttributes) {
  HANDLE handle = CreateFileW(WidePath(name).get(), access, share, nullptr, creation,
                              flagsAndAttributes, nullptr);
  return reinterpret_cast<FileHandle>(handle);
}

bool takeConsoleBreak() { return false; }

int readFile(FileHandle handle, void* buffer, uint32_t count, uint32_t* bytesRead) {
  DWORD done = 0;
  SetConsoleCtrlHandler(BreakHandler, TRUE);
  BOOL result = ReadFile(HandleOf(handle), buffer, count, &done, nullptr);
  AfterTransfer();
  if (bytesRead) *bytesRead = done;
  return result == TRUE ? 0 : 1;
}

int writeFile(FileHandle handle, const void* buffer, uint32_t count, uint32_t* bytesWritten) {
  DWORD done = 0;
  SetConsoleCtrlHandler(BreakHandler, TRUE);
  BOOL result = WriteFile(HandleOf(handle), buffer, count, &done, nullptr);
  AfterTransfer();
  if (bytesWritten) *bytesWritten = done;
  return result == TRUE ? 0 : 1;
}

int closeFile(FileHandle handle) { return CloseHandle(HandleOf(handle)) == TRUE ? 0 : 1; }

int truncateFile(FileHandle handle) { return SetEndOfFile(HandleOf(handle)) == TRUE ? 0 : 1; }

int seekFile(FileHandle handle, int64_t distance, uint64_t* newPosition, int origin) {
  // With its high part the call takes 64-bit positions on every Windows; 0xFFFFFFFF in the low
  // part is then a position too, and only the last error tells a failure.
  LONG high = static_cast<LONG>(distance >> 32);
  SetLastError(NO_ERROR);
  DWORD low = SetFilePointer(HandleOf(handle), static_cast<LONG>(distance & 0xFFFFFFFF), &high,
                             static_cast<DWORD>(origin));
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return 1;
  if (newPosition) *newPosition = (static_cast<uint64_t>(static_cast<DWORD>(high)) << 32) | low;
  return 0;
}

// --- services --------------------------------------------------------------------------------

int makeDirectory(const char* path, void* securityAttributes) {
  return CreateDirectoryW(WidePath(path).get(), static_cast<LPSECURITY_ATTRIBUTES>(securityAttributes))
             ? 0
             : 1;
}

int deleteFile(const char* path) { return DeleteFileW(WidePath(path).get()) ? 0 : 1; }

uint64_t monotonicTicks() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<uint64_t>(now.QuadPart);
}

int replaceFile(const char* replaced, const char* replacement) {
  const WidePath target(replaced);
  const WidePath source(replacement);
  // ReplaceFileW keeps the old file's security, creation time, short name and the named streams
  // the new one lacks, as Windows' own replacements do. Where it cannot (a volume or a remote
  // share that refuses the merge, or a replacement that failed half-way and left the old file
  // gone with the new one under its own name), a plain move over the old name does it in one
  // step too.
  if (ReplaceFileW(target.get(), source.get(), nullptr,
                   REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr,
                   nullptr)) {
    return 0;
  }
  return MoveFileExW(source.get(), target.get(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}

namespace {

// The files a console break must not leave behind (fs.h: noteUnfinishedFile), as wide paths.
// The control handler runs on a thread of the system's: slots swapped atomically, no lock; once
// a break is ending the process, a forgotten path is not freed, as the handler may be reading it.
constexpr int kUnfinishedSlots = 512;
using NotedPath = wchar_t* volatile;
NotedPath gUnfinished[kUnfinishedSlots];
volatile LONG gEndingByBreak = 0;
volatile LONG gUnfinishedHandler = 0;

// Below the handler a transfer installs (which holds a break until the transfer has ended), so
// it runs once the break is on its way to the default handling, which ends the process. The
// files are open for deleting by others: each goes when the process's handle on it closes.
BOOL WINAPI RemoveUnfinishedOnBreak(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  InterlockedExchange(&gEndingByBreak, 1);
  for (int i = 0; i < kUnfinishedSlots; ++i) {
    if (wchar_t* path = gUnfinished[i]) DeleteFileW(path);
  }
  return FALSE;
}

}  // namespace

void noteUnfinishedFile(const char* path) {
  if (InterlockedCompareExchange(&gUnfinishedHandler, 1, 0) == 0) {
    SetConsoleCtrlHandler(RemoveUnfinishedOnBreak, TRUE);
  }
  const WidePath wide(path);
  const size_t length = std::wcslen(wide.get());
  wchar_t* copy = new wchar_t[length + 1];
  std::memcpy(copy, wide.get(), (length + 1) * sizeof(wchar_t));
  for (int i = 0; i < kUnfinishedSlots; ++i) {
    if (InterlockedCompareExchangePointer(reinterpret_cast<PVOID volatile*>(&gUnfinished[i]), copy,
                                          nullptr) == nullptr) {
      return;
    }
  }
  delete[] copy;  // more at once than a run ever has: this one is left to a kill's fate
}

void forgetUnfinishedFile(const char* path) {
  const WidePath wide(path);
  for (int i = 0; i < kUnfinishedSlots; ++i) {
    wchar_t* noted = gUnfinished[i];
    if (!noted || std::wcscmp(noted, wide.get()) != 0) continue;
    if (InterlockedCompareExchangePointer(reinterpret_cast<PVOID volatile*>(&gUnfinished[i]),
                                          nullptr, noted) == noted) {
      if (InterlockedCompareExchange(&gEndingByBreak, 0, 0) == 0) delete[] noted;
      return;
    }
  }
}

char* fullPathOf(char* out, const char* path) {
  const WidePath wide(path);
  const DWORD size = GetFullPathNameW(wide.get(), 0, nullptr, nullptr);
  wchar_t* full = size ? new wchar_t[size] : nullptr;
  const DWORD length = full ? GetFullPathNameW(wide.get(), size, full, nullptr) : 0;
  // The long form's prefix is the layer's business, not the caller's.
  const wchar_t* shown = full;
  if (length >= 8 && std::wcsncmp(full, L"\\\\?\\UNC\\", 8) == 0) {
    shown = full + 6;
    full[6] = L'\\';
  } else if (length >= 4 && std::wcsncmp(full, L"\\\\?\\", 4) == 0) {
    shown = full + 4;
  }
  const bool made = length != 0 && length < size &&
                    ToUtf8(shown, static_cast<int>(length - (shown - full)), out, kLongPathSize);
  delete[] full;
  if (!made) {
    CopyPath(out, path, kLongPathSize);
    return nullptr;
  }
  char* separator = std::strrchr(out, '\\');
  return separator && separator[1] ? separator + 1 : nullptr;
}

int getAttributes(const char* path, uint32_t* attributes) {
  DWORD found = GetFileAttributesW(WidePath(path).get());
  if (attributes) *attributes = found;
  return found == INVALID_FILE_ATTRIBUTES ? 1 : 0;
}

bool isReparsePoint(const char* path, bool* exists) {
  // The attributes of a link or junction are its own: the call does not follow it.
  const DWORD found = GetFileAttributesW(WidePath(path).get());
  *exists = found != INVALID_FILE_ATTRIBUTES;
  return *exists && (found & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

int setAttributes(const char* path, uint32_t attributes) {
  const WidePath wide(path);
  if (!SetFileAttributesW(wide.get(), attributes)) return 1;
  if (!(attributes & kAttrCompressed)) return 0;

  // SetFileAttributesW cannot compress; the file system takes it as a control request.
  const DWORD flags = (attributes & kAttrDirectory) ? FILE_FLAG_BACKUP_SEMANTICS : 0;
  HANDLE handle = CreateFileW(wide.get(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return 1;
  USHORT format = kCompressionDefault;
  DWORD returned = 0;
  DeviceIoControl(handle, kSetCompression, &format, sizeof format, nullptr, 0, &returned, nullptr);
  CloseHandle(handle);
  return 0;
}

int dosToFileTime(uint16_t dosDate, uint16_t dosTime, FileTime* out) {
  FILETIME local, utc;
  if (!DosDateTimeToFileTime(dosDate, dosTime, &local)) return 1;
  if (!LocalFileTimeToFileTime(&local, &utc)) return 1;
  out->low = utc.dwLowDateTime;
  out->high = utc.dwHighDateTime;
  return 0;
}

uint32_t toDosDateTime(const FileTime& time) {
  FILETIME utc = ToWin32(time), local;
  WORD date = 0, clock = 0;
  if (!FileTimeToLocalFileTime(&utc, &local)) return 0;
  if (!FileTimeToDosDateTime(&local, &date, &clock)) return 0;
  return (static_cast<uint32_t>(date) << 16) | clock;
}

int fileTimesOf(FileHandle handle, uint32_t* creation, uint32_t* lastAccess, uint32_t* lastWrite) {
  FILETIME created, accessed, written;
  const bool ok = GetFileTime(HandleOf(handle), &created, &accessed, &written) != 0;
  if (creation) *creation = ok ? toDosDateTime(FileTime{created.dwLowDateTime, created.dwHighDateTime}) : 0;
  if (lastAccess) *lastAccess = ok ? toDosDateTime(FileTime{accessed.dwLowDateTime, accessed.dwHighDateTime}) : 0;
  if (lastWrite) *lastWrite = ok ? toDosDateTime(FileTime{written.dwLowDateTime, written.dwHighDateTime}) : 0;
  return ok ? 0 : 1;
}

int setFileTimes(FileHandle handle, const char* path, const uint32_t* creation,
                 const uint32_t* lastAccess, const uint32_t* lastWrite, const FileTime* rawTimes,
                 unsigned timeSelection) {
  FILETIME times[3];  // creation, last access, last write
  const FILETIME* chosen[3] = {nullptr, nullptr, nullptr};
  if (rawTimes) {
    const unsigned selectionBit[3] = {4, 1, 2};
    for (int i = 0; i < 3; ++i) {
      if (timeSelection & selectionBit[i]) {
        times[i] = ToWin32(rawTimes[i]);
        chosen[i] = &times[i];
      }
    }
  } else {
    // A DOS value that names no real moment leaves that time as it is instead of writing
    // whatever the failed conversion left behind.
    const uint32_t* given[3] = {creation, lastAccess, lastWrite};
    for (int i = 0; i < 3; ++i) {
      FileTime converted;
      if (given[i] && dosToFileTime(static_cast<uint16_t>(*given[i] >> 16),
                                    static_cast<uint16_t>(*given[i]), &converted) == 0) {
        times[i] = ToWin32(converted);
        chosen[i] = &times[i];
      }
    }
  }
  return SetFileTime(HandleOf(handle), chosen[0], chosen[1], chosen[2]) == TRUE ? 0 : 1;
}

int setVolumeLabel(const char* drivePath, char* label) {
  char root[4];
  const char* rootPath = nullptr;
  if (drivePath) {
    RootOf(drivePath, root);
    rootPath = root;
    if (char* dot = std::strchr(label, '.')) *dot = ' ';
  }
  const WidePath wideLabel(label);
  return SetVolumeLabelW(rootPath ? WidePath(rootPath).get() : nullptr, wideLabel.get()) ? 0 : 1;
}

SearchHandle findFirst(const char* pattern, FindInfo* info) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(WidePath(pattern).get(), &found);
  if (search == INVALID_HANDLE_VALUE) return kNoSearch;
  Fill(found, info);
  return reinterpret_cast<SearchHandle>(search);
}

int findNext(SearchHandle search, FindInfo* info) {
  WIN32_FIND_DATAW found;
  if (!FindNextFileW(reinterpret_cast<HANDLE>(search), &found)) return 1;
  Fill(found, info);
  return 0;
}

int endSearch(SearchHandle search) { return FindClose(reinterpret_cast<HANDLE>(search)) ? 0 : 1; }

int lastError() { return static_cast<int>(GetLastError()); }

int volumeLabelOf(const char* path, char* label, void* unused, uint32_t* serial) {
  if (serial) *serial = 0;
  label[0] = '\0';
  char root[4];
  const char* rootPath = nullptr;
  if (path) {
    RootOf(path, root);
    rootPath = root;
  }
  DWORD maximumComponent = 0, fileSystemFlags = 0;
  wchar_t fileSystem[64];
  wchar_t wideLabel[MAX_PATH + 1];
  if (!GetVolumeInformationW(rootPath ? WidePath(rootPath).get() : nullptr, wideLabel, MAX_PATH + 1,
                             nullptr, &maximumComponent, &fileSystemFlags, fileSystem, 64)) {
    return 1;
  }
  ToUtf8(wideLabel, label, kPathSize);
  return 0;
}

int driveTypeOf(const char* path) {
  char root[4];
  if (path) RootOf(path, root);
  switch (GetDriveTypeA(path ? root : nullptr)) {
    case DRIVE_REMOVABLE: return kDriveRemovable;
    case DRIVE_REMOTE: return kDriveRemote;
    case DRIVE_CDROM: return kDriveCdrom;
    case DRIVE_RAMDISK: return kDriveRamDisk;
    default: return kDriveFixed;
  }
}

int getCurrentDir(char* out) {
  // An answer of MAX_PATH or more is the size a longer path would need: nothing was written.
  wchar_t wide[MAX_PATH];
  DWORD length = GetCurrentDirectoryW(MAX_PATH, wide);
  if (length == 0 || length >= MAX_PATH || !ToUtf8(wide, out, kPathSize)) {
    out[0] = '\0';
    return 1;
  }
  return 0;
}

int setCurrentDir(const char* path) { return SetCurrentDirectoryW(WidePath(path).get()) ? 0 : 1; }

char* shortPathOf(char* out, const char* path, uint32_t size) {
  const WidePath wide(path);
  wchar_t shortPath[MAX_PATH];
  DWORD length = GetShortPathNameW(wide.get(), shortPath, MAX_PATH);
  if (length == 0 || length >= MAX_PATH || !ToUtf8(shortPath, out, size)) CopyPath(out, path, size);
  return out;
}

int moduleFileName(char* out, int size) {
  if (size <= 0) return 1;
  // A name that fills the buffer was cut short (and is not terminated on older systems).
  wchar_t wide[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, wide, MAX_PATH);
  if (length == 0 || length >= MAX_PATH ||
      !ToUtf8(wide, static_cast<int>(length), out, static_cast<size_t>(size))) {
    out[0] = '\0';
    return 1;
  }
  return 0;
}

int tempDirectory(char* out, int size) {
  if (size <= 0) return 0;
  wchar_t wide[MAX_PATH + 1];
  DWORD length = GetTempPathW(MAX_PATH + 1, wide);
  if (length == 0 || length > MAX_PATH ||
      !ToUtf8(wide, static_cast<int>(length), out, static_cast<size_t>(size))) {
    return 0;
  }
  return static_cast<int>(std::strlen(out));
}

// --- named streams -------------------------------------------------------------------------
namespace {

// Whether the volume holding path keeps named streams. Wine, for one, takes "name:stream" for
// a file of its own beside the file, and its volumes say they keep none. The volume is the
// drive's ("X:\") or the share's ("\\server\share\"); a volume mounted in a folder answers
// for its drive, and a stream it cannot take is refused there, not made a file.
bool KeepsNamedStreams(const char* path) {
  PathBuffer root;
  if (!fullPathOf(root, path)) return false;
  size_t cut = 3;  // after "X:\"
  if (root[0] == '\\' && root[1] == '\\') {
    int separators = 0;
    for (cut = 2; root[cut] && separators < 2; ++cut) separators += root[cut] == '\\';
    if (separators < 2) return false;
  } else if (root[1] != ':') {
    return false;
  }
  root[cut] = 0;
  DWORD flags = 0;
  return GetVolumeInformationW(WidePath(root).get(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) &&
         (flags & FILE_NAMED_STREAMS);
}

// "path:stream".
Text StreamName(const char* path, const char* stream) {
  Text name(path);
  name += ":";
  name += stream;
  return name;
}

}  // namespace

int readNamedStream(const char* path, const char* stream, Text* out) {
  HANDLE handle = CreateFileW(WidePath(StreamName(path, stream).c_str()).get(), GENERIC_READ,
                              FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return 1;
  char buffer[kNamedStreamMax + 1];
  DWORD got = 0;
  BOOL read = ReadFile(handle, buffer, sizeof buffer, &got, nullptr);
  CloseHandle(handle);
  // The volume is asked only now: most files have no such stream, and Wine says on the
  // terminal that it cannot read a Unix volume's label whenever it is asked.
  if (!read || got > kNamedStreamMax || !KeepsNamedStreams(path)) return 1;
  out->assign(buffer, got);
  return 0;
}

int writeNamedStream(const char* path, const char* stream, const Text& data) {
  if (!KeepsNamedStreams(path)) return 1;
  HANDLE handle = CreateFileW(WidePath(StreamName(path, stream).c_str()).get(), GENERIC_WRITE, 0,
                              nullptr, CREATE_ALWAYS, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  BOOL ok = WriteFile(handle, data.c_str(), static_cast<DWORD>(data.size()), &written, nullptr);
  CloseHandle(handle);
  return ok && written == data.size() ? 0 : 1;
}

std::unique_ptr<wchar_t[]> WideText(const char* utf8) {
  if (!utf8) utf8 = "";
  const int units = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  std::unique_ptr<wchar_t[]> wide(new wchar_t[units > 0 ? units : 1]);
  wide[0] = 0;
  if (units > 0) MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide.get(), units);
  return wide;
}
