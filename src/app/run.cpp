// The pass that runs one parsed command and the driver that walks the entries.
#include <string>

#include "app/app.h"
#include "authenticity/summary.h"
#include "extract/context.h"
#include "extract/selection.h"
#include "options/parser.h"
#include "options/run_options.h"
#include "report/report.h"
#include "zip/archive_state.h"

namespace {

// The default commands chosen when none is given; none of them runs the driver.
constexpr int kCommandDefaultComment = 1;
constexpr int kCommandDefaultHeader = 14;
constexpr int kCommandDefaultMove = 16;

// Each string of a name block: a list file when it starts with the list-file marker.
void AddNamesFromBlock(ArchiveState* archive, const char* block, int excludeFlag) {
  if (!block) return;
  for (const char* s = block; *s; s += std::char_traits<char>::length(s) + 1) {
    if (*s == gRunOptions.listMarker) {
      ReadListFile(s + 1, excludeFlag);
    } else if (excludeFlag) {
      AddExcludeName(&archive->names, s);
    } else {
      AddIncludeName(&archive->names, s);
    }
  }
}

}  // namespace

int RunCommand() {
  RunOptions& options = gRunOptions;
  if (options.command == kCommandHelp) EndProcess(gWarningFlag);
  if (options.command == kCommandVersion) EndProcess(kExitVersion);

  ArchiveState* archive = gArchiveState;
  AddNamesFromBlock(archive, options.includeBlock, 0);
  AddNamesFromBlock(archive, options.excludeBlock, 1);
  if (archive->names.includeCount == 0) AddIncludeName(&archive->names, "*.*");
  ReverseIncludeList(&archive->names);

  if (options.command == 0) {
    if (options.Comment) {
      options.command = kCommandDefaultComment;
    } else if (options.Header) {
      options.command = kCommandDefaultHeader;
    } else if (options.Move) {
      options.command = kCommandDefaultMove;
    }
  }

  switch (options.command) {
    case kCommandExtract:
    case kCommandTest:
    case kCommandPrint:
    case kCommandConsole:
      return RunEntries(archive);
    default:
      return 0;
  }
}

int RunEntries(ArchiveState* archive) {
  const EndRecord* end = archive->endRecord();
  uint32_t count = end ? end->totalEntries() : 0;
  if (count == 0) return 0;

  ExtractionContext context(archive, archive->destination);
  int key = gRunOptions.SortExtract;
  sortEntries(key >= kSortDescending ? key - kSortDescending : key, archive->entries(), count);

  CentralHeader** entries = archive->entries();
  bool backwards = key >= kSortDescending;
  for (uint32_t i = 0; i < count; ++i) {
    const CentralHeader* entry = entries[backwards ? count - 1 - i : i];
    if (!SelectEntry(archive, entry)) continue;
    if (!SelectByTarget(archive, entry)) continue;
    if (ExtractEntry(&context, entry) != 0) break;  // the user asked to stop
  }
  VerifyAuthenticity(&archive->authenticity);
  return context.processedCount;
}
