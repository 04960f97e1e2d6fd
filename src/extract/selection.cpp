// Which entries a run touches: name patterns, date filters, freshen and update, directories.
#include "extract/selection.h"

#include <cstring>

#include "fs/fs.h"
#include "zip/archive_state.h"

namespace {

bool MatchesAny(const TextList& patterns, const char* name) {
  for (const Text& pattern : patterns) {
    if (MatchWildcard(pattern.c_str(), name)) return true;
  }
  return false;
}

}  // namespace

int MatchWildcard(const char* pattern, const char* name) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(pattern);
  const unsigned char* n = reinterpret_cast<const unsigned char*>(name);
  for (;;) {
    switch (*p) {
      case '*':
        // No backtracking: the star gives up at the first name character that equals the
        // pattern character after it, so *.txt stops at the first '.' of a.b.txt.
        if (*n == '\0' || upperCaseChar(*n) == upperCaseChar(p[1])) {
          ++p;
        } else {
          ++n;
        }
        break;
      case '.':
        // A trailing "." or ".*" also selects a name without any dot.
        if (*n == '\0') {
          ++p;
        } else if (*n == '.') {
          ++p, ++n;
        } else {
          return 0;
        }
        break;
      case '?':
        ++p;
        if (*n != '\0' && *n != '.' && *n != '/') ++n;
        break;
      default: {
        // The terminating NUL is compared like any other character.
        const bool equal = ((*p ^ *n) & 0x7F) == 0 || upperCaseChar(*p) == upperCaseChar(*n);
        if (!equal) return 0;
        if (*p == '\0') return 1;
        ++p, ++n;
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
  const uint16_t nameLength = entry->nameLength;
  int result = 1;

  if ((options.extractSelection == kSelectFreshen || options.extractSelection == kSelectUpdate) &&
      (command == kCommandExtract || command == kCommandTest)) {
    const size_t destinationLength = std::strlen(destination);
    if (destinationLength + nameLength >= static_cast<size_t>(kPathSize)) {
      // No file can be found at a target path that does not fit a path buffer: a freshen has
      // nothing there to freshen, an update takes the entry, and the extraction then refuses it
      // with a warning instead of dropping it without a word.
      if (options.extractSelection == kSelectFreshen) result = 0;
    } else {
      char path[kPathSize];
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
