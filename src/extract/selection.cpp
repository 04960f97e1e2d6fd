// Which entries a run touches: name patterns, date filters, freshen and update, directories.
#include "extract/selection.h"

#include <cstring>

#include "fs/fs.h"
#include "options/run_options.h"
#include "zip/archive_state.h"

namespace {

// The run-time library's toupper in the "C" locale: ASCII letters only.
inline int Upper(unsigned char c) { return c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c; }

bool MatchesAny(const NameNode* node, const char* name) {
  for (; node; node = node->next) {
    if (MatchWildcard(node->pattern, name)) return true;
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
        if (*n == '\0' || Upper(*n) == Upper(p[1])) {
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
        const bool equal = ((*p ^ *n) & 0x7F) == 0 || Upper(*p) == Upper(*n);
        if (!equal) return 0;
        if (*p == '\0') return 1;
        ++p, ++n;
        break;
      }
    }
  }
}

int MatchNameLists(const NameLists* lists, const char* name, uint32_t length) {
  char buffer[kPathSize];
  copyEntryName(buffer, name, length);
  if (lists->exclude && MatchesAny(lists->exclude, buffer)) return 0;
  if (!lists->include) return 1;
  return MatchesAny(lists->include, buffer) ? 1 : 0;
}

int SelectEntry(ArchiveState* archive, const CentralHeader* entry) {
  if (!MatchNameLists(&archive->names, entry->name(), entry->nameLength())) return 0;
  const uint32_t stamp = entry->dosDateTime();
  if ((gRunOptions.dateFilter & kFilterAfter) && stamp < gRunOptions.AfterDate) return 0;
  if ((gRunOptions.dateFilter & kFilterBefore) && stamp > gRunOptions.BeforeDate) return 0;
  return 1;
}

int SelectByTarget(ArchiveState* archive, const CentralHeader* entry) {
  const RunOptions& options = gRunOptions;
  const int command = options.command;
  const uint16_t nameLength = entry->nameLength();
  int result = 1;

  if ((options.extractSelection == kSelectFreshen || options.extractSelection == kSelectUpdate) &&
      (command == kCommandExtract || command == kCommandTest)) {
    const size_t destinationLength = std::strlen(archive->destination);
    // A target path that does not fit a path buffer could not be opened either.
    if (destinationLength + nameLength >= static_cast<size_t>(kPathSize)) return 0;
    char path[kPathSize];
    std::memcpy(path, archive->destination, destinationLength);
    std::memcpy(path + destinationLength, entry->name(), nameLength);
    path[destinationLength + nameLength] = '\0';
    toForwardSlashes(path);

    FindInfo found{};
    SearchHandle search = findFirst(path, &found);
    const bool exists = search != kNoSearch;
    const bool notOlder = exists && found.lastWrite >= entry->dosDateTime();
    if (options.extractSelection == kSelectUpdate) {
      if (notOlder) result = 0;
    } else if (!exists || notOlder) {
      result = 0;
    }
    if (exists) endSearch(search);
  }

  // Directory entries are neither created nor counted when paths are not kept. A stored '\\'
  // is a separator here as everywhere else in the program.
  if (!options.Path && nameLength > 0 && command != kCommandTest) {
    const char last = entry->name()[nameLength - 1];
    if (last == '/' || last == '\\') result = 0;
  }
  return result;
}
