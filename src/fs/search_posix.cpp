// Directory searches on POSIX systems, with the Win32 rules: wildcards as Windows translates and
// matches them, names compared without regard to case, entries in the order NTFS gives them.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "fs/fs.h"
#include "fs/name_key.h"
#include "fs/posix_layer.h"

namespace posix_layer {
namespace {

// Pattern elements besides the upper-cased name keys (fs/name_key.h): the Win32 wildcards after
// the translation Windows applies to a search pattern.
constexpr int64_t kAnyRun = -1;       // '*'
constexpr int64_t kAnyBeforeDot = -2;  // '*' followed by '.': may not pass the name's last '.'
constexpr int64_t kOneChar = -3;      // '?': one character, or none at a '.' or the end of the name
constexpr int64_t kDotOrEnd = -4;     // '.' before '?' or '*' or at the end: a '.' or the name's end

// The upper-case form of a name key by the case rule (fs/name_key.h), beside the pattern
// elements.
int64_t UpperKey(uint32_t key) { return UpperNameKey(key); }

std::vector<int64_t> CompilePattern(const std::string& pattern) {
  std::vector<int64_t> compiled;
  if (pattern == "*.*") return {kAnyRun};  // every name, with or without a dot
  for (size_t i = 0; i < pattern.size(); ++i) {
    char c = pattern[i];
    char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
    if (c == '?') {
      compiled.push_back(kOneChar);
    } else if (c == '*') {
      compiled.push_back(next == '.' ? kAnyBeforeDot : kAnyRun);
    } else if (c == '.' && (next == '\0' || next == '?' || next == '*')) {
      compiled.push_back(kDotOrEnd);
    } else {
      const unsigned char* at = reinterpret_cast<const unsigned char*>(pattern.data()) + i;
      const unsigned char* start = at;
      compiled.push_back(UpperKey(NextNameKey(&at, reinterpret_cast<const unsigned char*>(pattern.data()) + pattern.size())));
      i += static_cast<size_t>(at - start) - 1;
    }
  }
  return compiled;
}

// The position sets of MatchName, kept by the caller from name to name: a scan matches every
// name of a directory.
struct MatchScratch {
  std::vector<char> current, next;
};

// Runs the pattern as a set of positions over the name, one name character at a time, so that a
// pattern with many '*' never backtracks.
bool MatchName(const std::vector<int64_t>& pattern, const std::string& name, MatchScratch& scratch) {
  const size_t count = pattern.size();
  const size_t lastDot = name.rfind('.');
  std::vector<char>& current = scratch.current;
  std::vector<char>& next = scratch.next;
  current.assign(count + 1, 0);
  next.assign(count + 1, 0);
  current[0] = 1;
  const unsigned char* const begin = reinterpret_cast<const unsigned char*>(name.data());
  const unsigned char* const end = begin + name.size();
  const unsigned char* at = begin;
  for (;;) {
    const size_t i = static_cast<size_t>(at - begin);  // the character's byte position
    const bool atEnd = at == end;
    const uint32_t c = atEnd ? 0 : NextNameKey(&at, end);
    // Moves that consume nothing here; they only go forward, so one pass closes the set.
    for (size_t j = 0; j < count; ++j) {
      if (!current[j]) continue;
      const int64_t element = pattern[j];
      if (element == kAnyRun || element == kAnyBeforeDot ||
          (element == kOneChar && (atEnd || c == '.')) || (element == kDotOrEnd && atEnd)) {
        current[j + 1] = 1;
      }
    }
    if (atEnd) return current[count] != 0;
    std::fill(next.begin(), next.end(), 0);
    bool alive = false;
    for (size_t j = 0; j < count; ++j) {
      if (!current[j]) continue;
      const int64_t element = pattern[j];
      size_t to = SIZE_MAX;
      if (element == kAnyRun) {
        to = j;
      } else if (element == kAnyBeforeDot) {
        if (c != '.' || i != lastDot) to = j;
      } else if (element == kOneChar) {
        if (c != '.') to = j + 1;
      } else if (element == kDotOrEnd) {
        if (c == '.') to = j + 1;
      } else if (element == UpperKey(c)) {
        to = j + 1;
      }
      if (to != SIZE_MAX) {
        next[to] = 1;
        alive = true;
      }
    }
    if (!alive) return false;
    current.swap(next);
  }
}

struct Found {
  std::string name;
  Meta meta;
};

struct Search {
  std::vector<Found> found;
  size_t next = 0;
};

std::map<SearchHandle, Search> gSearches;
SearchHandle gNextSearch = 1;

void Fill(const Found& entry, FindInfo* info) {
  info->attributes = AttributesOf(entry.meta.mode);
  info->creation = toDosDateTime(entry.meta.creation);
  info->lastAccess = toDosDateTime(entry.meta.lastAccess);
  info->lastWrite = toDosDateTime(entry.meta.lastWrite);
  info->size = entry.meta.size;
  // Linux keeps no 8.3 aliases, so every name is its own short name and the alias field stays
  // empty, as Windows leaves it for a name that needs none.
  std::snprintf(info->name, sizeof info->name, "%s", entry.name.c_str());
  info->shortName[0] = '\0';
  info->rawTimes[0] = entry.meta.creation;
  info->rawTimes[1] = entry.meta.lastAccess;
  info->rawTimes[2] = entry.meta.lastWrite;
}

bool IsDotEntry(const std::string& name) { return name == "." || name == ".."; }

// The order NTFS reports a directory in: "." and ".." first, then by upper-cased name.
bool ReportedBefore(const Found& a, const Found& b) {
  const bool aDot = IsDotEntry(a.name), bDot = IsDotEntry(b.name);
  if (aDot != bDot) return aDot;
  const unsigned char* pa = reinterpret_cast<const unsigned char*>(a.name.data());
  const unsigned char* pb = reinterpret_cast<const unsigned char*>(b.name.data());
  const unsigned char* ea = pa + a.name.size();
  const unsigned char* eb = pb + b.name.size();
  while (pa < ea && pb < eb) {
    const int64_t x = UpperKey(NextNameKey(&pa, ea));
    const int64_t y = UpperKey(NextNameKey(&pb, eb));
    if (x != y) return x < y;
  }
  if (a.name.size() != b.name.size()) return a.name.size() < b.name.size();
  return a.name < b.name;
}

bool IsRootDirectory(int directory) {
  struct stat self, root;
  return fstat(directory, &self) == 0 && stat("/", &root) == 0 && self.st_dev == root.st_dev &&
         self.st_ino == root.st_ino;
}

// Calls visit(directory descriptor, name on disk, 1252 name) for every entry a search can
// report: names too long for a path buffer are left out, and so are "." and ".." of the root,
// which on Windows is a drive's root and has none. Returns 0, or a Win32 error.
template <typename Visit>
int ReadDirectory(const std::string& osDirectory, Visit visit) {
  DIR* directory = opendir(osDirectory.empty() ? "." : osDirectory.c_str());
  if (!directory) {
    const int error = errno;
    if (error == ENOENT) return kErrorPathNotFound;
    FailErrno(error, osDirectory);
    return lastError();
  }
  const bool root = IsRootDirectory(dirfd(directory));
  while (dirent* entry = readdir(directory)) {
    const std::string name = EnginePath(entry->d_name);
    if (name.size() >= static_cast<size_t>(kPathSize)) continue;
    if (root && IsDotEntry(name)) continue;
    visit(dirfd(directory), entry->d_name, name);
  }
  closedir(directory);
  return 0;
}

bool InspectEntry(int directory, const char* name, Meta* meta) {
  return Inspect(directory, name, 0, meta) || Inspect(directory, name, AT_SYMLINK_NOFOLLOW, meta);
}

// Every entry whose 1252 name the wildcard pattern matches. Returns 0, or a Win32 error.
int Scan(const std::string& osDirectory, const std::string& pattern, std::vector<Found>* found) {
  const std::vector<int64_t> compiled = CompilePattern(pattern);
  MatchScratch scratch;
  int error = ReadDirectory(osDirectory, [&](int directory, const char* osName, const std::string& name) {
    if (!MatchName(compiled, name, scratch)) return;
    Found item;
    item.name = name;
    if (InspectEntry(directory, osName, &item.meta)) found->push_back(std::move(item));
  });
  if (error) return error;
  return found->empty() ? kErrorFileNotFound : 0;
}

// --- directory listings, for names looked up without wildcards --------------------------------
//
// Linux finds a name only in its exact spelling, Windows in any case. Finding a name in another
// spelling takes reading the whole directory, which an extraction would otherwise do for every
// file it writes into a large directory. So the names of the last few directories looked into
// are kept by upper-cased name, and read again when the directory's modification time shows a
// change made elsewhere; changes made through this layer are entered as they happen. A change
// made elsewhere within the same clock tick as the last look can go unseen until the next one;
// what is missed then is a spelling Linux keeps as a separate file, which writing this name
// does not touch.

struct ListedName {
  std::string name;    // 1252
  std::string osName;  // as on disk
};

struct Listing {
  timespec modified{};
  std::multimap<std::string, ListedName> byUpperName;
  uint64_t lastUse = 0;
};

constexpr size_t kListingsKept = 4;
std::map<DirectoryId, Listing> gListings;
uint64_t gListingClock = 0;
// The search handles and the listings are shared by every thread of the process (the workers
// of a run create files, set their times and delete them side by side).
std::recursive_mutex gTablesLock;

bool SameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

// A name's upper-cased keys as a text, for finding a name whatever its case.
std::string UpperName(const std::string& name) {
  std::string upper;
  upper.reserve(name.size());
  const unsigned char* at = reinterpret_cast<const unsigned char*>(name.data());
  const unsigned char* end = at + name.size();
  while (at < end) {
    const int64_t key = UpperKey(NextNameKey(&at, end));
    if (key < 0x100) {
      upper.push_back(static_cast<char>(key));
    } else {
      upper.push_back('\0');  // a key beyond one byte: a NUL, then its three bytes
      upper.push_back(static_cast<char>(key >> 16));
      upper.push_back(static_cast<char>(key >> 8));
      upper.push_back(static_cast<char>(key));
    }
  }
  return upper;
}

// The directory part of a path, with its separator ("" for the current directory).
std::string DirectoryPart(const std::string& osPath) {
  const size_t slash = osPath.find_last_of('/');
  return slash == std::string::npos ? std::string() : osPath.substr(0, slash + 1);
}

bool IdentifyDirectory(const std::string& osDirectory, DirectoryId* id, timespec* modified, int* error) {
  struct stat st;
  if (stat(osDirectory.empty() ? "." : osDirectory.c_str(), &st) != 0) {
    *error = errno;
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    *error = ENOTDIR;
    return false;
  }
  *id = DirectoryId{st.st_dev, st.st_ino};
  *modified = st.st_mtim;
  return true;
}

// The spellings of name (1252) present in the directory. Returns 0, or a Win32 error.
int SpellingsOf(const std::string& osDirectory, const std::string& name, std::vector<ListedName>* found) {
  std::lock_guard<std::recursive_mutex> lock(gTablesLock);
  DirectoryId id;
  timespec modified;
  int error = 0;
  if (!IdentifyDirectory(osDirectory, &id, &modified, &error)) {
    if (error == ENOENT || error == ENOTDIR) return kErrorPathNotFound;
    FailErrno(error, osDirectory);
    return lastError();
  }
  auto it = gListings.find(id);
  if (it == gListings.end() || !SameTime(it->second.modified, modified)) {
    Listing listing;
    listing.modified = modified;
    error = ReadDirectory(osDirectory, [&](int, const char* osName, const std::string& entry) {
      listing.byUpperName.emplace(UpperName(entry), ListedName{entry, osName});
    });
    if (error) return error;
    if (it == gListings.end() && gListings.size() >= kListingsKept) {
      gListings.erase(std::min_element(gListings.begin(), gListings.end(), [](const auto& a, const auto& b) {
        return a.second.lastUse < b.second.lastUse;
      }));
    }
    it = gListings.insert_or_assign(id, std::move(listing)).first;
  }
  it->second.lastUse = ++gListingClock;
  auto range = it->second.byUpperName.equal_range(UpperName(name));
  for (auto entry = range.first; entry != range.second; ++entry) found->push_back(entry->second);
  return 0;
}

// Enters a name this layer adds to or removes from a directory into that directory's listing,
// when the listing was current just before the change.

}  // namespace

ListingChange::ListingChange(std::string osPath) {
  std::lock_guard<std::recursive_mutex> lock(gTablesLock);
  if (gListings.empty()) return;
  while (osPath.size() > 1 && osPath.back() == '/') osPath.pop_back();
  directory_ = DirectoryPart(osPath);
  osName_ = osPath.substr(directory_.size());
  timespec modified;
  int error;
  if (osName_.empty() || !IdentifyDirectory(directory_, &id_, &modified, &error)) return;
  auto it = gListings.find(id_);
  current_ = it != gListings.end() && SameTime(it->second.modified, modified);
}

void ListingChange::apply(bool add) {
  std::lock_guard<std::recursive_mutex> lock(gTablesLock);
  if (!current_) return;
  auto it = gListings.find(id_);
  if (it == gListings.end()) return;
  DirectoryId id;
  timespec modified;
  int error;
  if (!IdentifyDirectory(directory_, &id, &modified, &error) || id != id_) {
    gListings.erase(it);
    return;
  }
  Listing& listing = it->second;
  listing.modified = modified;
  const std::string name = EnginePath(osName_);
  auto range = listing.byUpperName.equal_range(UpperName(name));
  for (auto entry = range.first; entry != range.second; ++entry) {
    if (entry->second.osName == osName_) {
      if (!add) listing.byUpperName.erase(entry);
      return;
    }
  }
  if (add && name.size() < static_cast<size_t>(kPathSize)) {
    listing.byUpperName.emplace(UpperName(name), ListedName{name, osName_});
  }
}

}  // namespace posix_layer

using namespace posix_layer;

SearchHandle findFirst(const char* pattern, FindInfo* info) {
  std::lock_guard<std::recursive_mutex> lock(gTablesLock);
  const std::string text = pattern ? pattern : "";
  const size_t separator = text.find_last_of("/\\");
  const std::string directory = separator == std::string::npos ? "" : text.substr(0, separator + 1);
  const std::string namePattern = separator == std::string::npos ? text : text.substr(separator + 1);
  if (namePattern.empty()) {
    Fail(kErrorFileNotFound);
    return kNoSearch;
  }
  const std::string osDirectory = OsPath(directory.c_str());

  Search search;
  int error = 0;
  if (namePattern.find_first_of("*?") != std::string::npos) {
    error = Scan(osDirectory, namePattern, &search.found);
  } else {
    // The exact spelling is one stat away, and is the one answer when it exists (Windows could
    // hold no second); other spellings come from the directory's listing.
    Found exact;
    exact.name = namePattern;
    if (Inspect(AT_FDCWD, (osDirectory + OsPath(namePattern.c_str())).c_str(), 0, &exact.meta)) {
      search.found.push_back(exact);
    } else {
      std::vector<ListedName> spellings;
      error = SpellingsOf(osDirectory, namePattern, &spellings);
      for (const ListedName& spelling : spellings) {
        Found item;
        item.name = spelling.name;
        if (InspectEntry(AT_FDCWD, (osDirectory + spelling.osName).c_str(), &item.meta)) {
          search.found.push_back(std::move(item));
        }
      }
      if (!error && search.found.empty()) error = kErrorFileNotFound;
    }
  }
  if (error) {
    Fail(error);
    return kNoSearch;
  }
  std::sort(search.found.begin(), search.found.end(), ReportedBefore);

  Fill(search.found[0], info);
  search.next = 1;
  const SearchHandle handle = gNextSearch++;
  gSearches.emplace(handle, std::move(search));
  return handle;
}

int findNext(SearchHandle handle, FindInfo* info) {
  std::lock_guard<std::recursive_mutex> lock(gTablesLock);
  auto it = gSearches.find(handle);
  if (it == gSearches.end()) return Fail(kErrorInvalidHandle);
  Search& search = it->second;
  if (search.next >= search.found.size()) return Fail(kErrorNoMoreFiles);
  Fill(search.found[search.next++], info);
  return 0;
}

int endSearch(SearchHandle handle) {
  std::lock_guard<std::recursive_mutex> lock(gTablesLock);
  if (gSearches.erase(handle) == 0) return Fail(kErrorInvalidHandle);
  return 0;
}
