// Which entries a run touches: name patterns, date filters, freshen and update, directories.
#include "extract/selection.h"

#include <cstring>

#include "fs/fs.h"
#include "fs/name_key.h"
#include "zip/archive_state.h"

namespace {

bool MatchesAny(const TextList& patterns, const char* name) {
  for (const Text& pattern : patterns) {
    if (MatchWildcard(pattern.c_str(), name)) return true;
  }
  return false;
}

}  // namespace

namespace {

// A position in a UTF-8 text read as name keys (fs/name_key.h).
class KeyCursor {
 public:
  explicit KeyCursor(const char* text)
      : at_(reinterpret_cast<const unsigned char*>(text)), end_(at_ + std::strlen(text)) {}
  uint32_t key() const {
    const unsigned char* p = at_;
    return NextNameKey(&p, end_);
  }
  uint32_t keyAfter() const {
    const unsigned char* p = at_;
    NextNameKey(&p, end_);
    return NextNameKey(&p, end_);
  }
  void advance() { NextNameKey(&at_, end_); }

 private:
  const unsigned char* at_;
  const unsigned char* end_;
};

}  // namespace

int MatchWildcard(const char* pattern, const char* name) {
  KeyCursor p(pattern);
  KeyCursor n(name);
  for (;;) {
    const uint32_t pk = p.key();
    const uint32_t nk = n.key();
    switch (pk) {
      case '*':
        // No backtracking: the star gives up at the first name character that equals the
        // pattern character after it, so *.txt stops at the first '.' of a.b.txt.
        if (nk == 0 || OrderNameKey(nk) == OrderNameKey(p.keyAfter())) {
          p.advance();
        } else {
          n.advance();
        }
        break;
      case '.':
        // A trailing "." or ".*" also selects a name without any dot.
        if (nk == 0) {
          p.advance();
        } else if (nk == '.') {
          p.advance(), n.advance();
        } else {
          return 0;
        }
        break;
      case '?':
        p.advance();
        if (nk != 0 && nk != '.' && nk != '/') n.advance();
        break;
      default: {
        // The terminating NUL is compared like any other character. Two 1252 characters that
        // differ only in their top bit match, as they always did.
        const bool equal = (pk < kKeyBeyondAnsi && nk < kKeyBeyondAnsi && ((pk ^ nk) & 0x7F) == 0) ||
                           OrderNameKey(pk) == OrderNameKey(nk);
        if (!equal) return 0;
        if (pk == 0) return 1;
        p.advance(), n.advance();
        break;
      }
    }
  }
}

int MatchNameLists(const NameLists& lists, const char* name, uint32_t length) {
  // The whole name is matched, however long: it is never cut to a path's length here.
  Text whole(name, length);
  for (size_t i = 0; i < whole.size(); ++i) {
    if (whole[i] == '\\') whole[i] = '/';
  }
  if (MatchesAny(lists.exclude, whole.c_str())) return 0;
  if (lists.include.empty()) return 1;
  return MatchesAny(lists.include, whole.c_str()) ? 1 : 0;
}

int SelectEntry(const NameLists& names, const RunOptions& options, const CentralHeader* entry) {
  if (!MatchNameLists(names, entry->name, entry->nameLength)) return 0;
  const uint32_t stamp = entry->dosDateTime;
  if ((options.dateFilter & kFilterAfter) && stamp < options.AfterDate) return 0;
  if ((options.dateFilter & kFilterBefore) && stamp > options.BeforeDate) return 0;
  return 1;
}

int SelectByTarget(const RunOptions& options, const char* destination, const CentralHeader* entry) {
  const Command command = options.command;
  const uint32_t nameLength = entry->nameLength;
  int result = 1;

  if ((options.extractSelection == kSelectFreshen || options.extractSelection == kSelectUpdate) &&
      (command == kCommandExtract || command == kCommandTest)) {
    const size_t destinationLength = std::strlen(destination);
    if (destinationLength + nameLength >= static_cast<size_t>(kLongPathSize)) {
      // No file can be found at a target path that does not fit a path buffer: a freshen has
      // nothing there to freshen, an update takes the entry, and the extraction then refuses it
      // with a warning instead of dropping it without a word.
      if (options.extractSelection == kSelectFreshen) result = 0;
    } else {
      PathBuffer path;
      std::memcpy(path, destination, destinationLength);
      std::memcpy(path + destinationLength, entry->name, nameLength);
      path[destinationLength + nameLength] = '\0';
      toForwardSlashes(path);

      FindInfo found{};
      SearchHandle search = findFirst(path, &found);
      const bool exists = search != kNoSearch;
      const bool notOlder = exists && found.lastWrite >= entry->dosDateTime;
      if (options.extractSelection == kSelectUpdate) {
        if (notOlder) result = 0;
      } else if (!exists || notOlder) {
        result = 0;
      }
      if (exists) endSearch(search);
    }
  }

  // Directory entries are neither created nor counted when paths are not kept. A stored '\\'
  // is a separator here as everywhere else in the program.
  if (!options.Path && nameLength > 0 && command != kCommandTest) {
    const char last = entry->name[nameLength - 1];
    if (last == '/' || last == '\\') result = 0;
  }
  return result;
}
