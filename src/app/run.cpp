// The pass that runs one command and the driver that walks the entries.
#include "app/session.h"

#include "app/parallel_run.h"
#include "authenticity/verify.h"

namespace {

// The default commands chosen when none is given; none of them runs the driver.
constexpr int kCommandDefaultComment = 1;
constexpr int kCommandDefaultHeader = 14;
constexpr int kCommandDefaultMove = 16;

int CommandOf(const RunOptions& options) {
  if (options.command != 0) return options.command;
  if (options.Comment) return kCommandDefaultComment;
  if (options.Header) return kCommandDefaultHeader;
  if (options.Move) return kCommandDefaultMove;
  return 0;
}

}  // namespace

Status RunCommand(Session& session, const RunRequest& request, int* processed) {
  if (processed) *processed = 0;
  const RunOptions& options = request.options;
  if (options.command == kCommandHelp) return Status::Exit(session.reporter.warned() ? 1 : 0);
  if (options.command == kCommandVersion) return Status::Exit(kExitVersion);

  switch (CommandOf(options)) {
    case kCommandExtract:
    case kCommandTest:
    case kCommandPrint:
    case kCommandConsole:
      break;
    default:
      return Status();
  }
  if (!request.names.include.empty()) return RunEntries(session, request, processed);
  // Without include names every entry is taken, as the pattern "*.*" takes it.
  RunRequest everything = request;
  everything.names.include.push_back("*.*");
  return RunEntries(session, everything, processed);
}

Status RunEntries(Session& session, const RunRequest& request, int* processed) {
  if (processed) *processed = 0;
  ArchiveState& archive = session.archive;
  // The entries loaded: the ZIP64 end record's count where the end record's is saturated.
  uint32_t count = archive.endRecord() ? archive.entryCount : 0;
  if (count == 0) return Status();

  const RunOptions& options = request.options;
  if (session.callbacks) session.callbacks->dateOrder = options.LocaleDate;
  const unsigned workers = RunWorkerCount();
  if (RunsOnWorkers(session, request, workers)) {
    bool ran = false;
    Status status = RunEntriesOnWorkers(session, request, workers, processed, &ran);
    if (ran) return status;
  }

  ExtractionContext context(&archive, options, session.reporter, session.callbacks,
                            request.destination.c_str());
  if (!context.ready()) return Status::Fatal(kFatalNoMemoryForExtraction);
  context.consoleSink = request.consoleSink;
  context.cancel = request.cancel;

  // Each run starts from the summary of the directory as loaded.
  AuthenticitySummary authenticity = session.authenticity;
  int key = options.SortExtract;
  sortEntries(key, archive.entries(), count, archive.spanned != 0);

  CentralHeader* entries = archive.entries();
  bool backwards = key >= kSortDescending;
  for (uint32_t i = 0; i < count; ++i) {
    if (request.cancel && request.cancel->load()) {
      context.fail(Status::Exit(kExitCancelled));
      break;
    }
    const CentralHeader* entry = &entries[backwards ? count - 1 - i : i];
    if (!SelectEntry(request.names, options, entry)) continue;
    if (!SelectByTarget(options, context.destination, entry)) continue;
    const AfterEntry after = ExtractEntry(&context, entry);
    if (context.crcCheck == CrcCheck::kMismatched) {
      AuthenticityCrcMismatch(&authenticity, entry, context.computedCrc);
    } else if (context.crcCheck == CrcCheck::kMatched) {
      AuthenticityVerifiedEntry(&authenticity, entry, session.reporter);
    } else if (context.crcCheck == CrcCheck::kUndecodable) {
      AuthenticityUndecodable(&authenticity, entry);
    }
    if (after == AfterEntry::kStopRun) break;
  }
  if (processed) *processed = context.processedCount;
  if (context.failed()) return context.status;
  return VerifyAuthenticity(authenticity, session.reporter);
}
