// What outlives one run: the open archive and its authenticity summary, the reporter, and the
// callbacks object, which keeps the user's answers (the typed password) between runs. The
// stub has one session from start-up to the end of its dialog; vespa-console one per process;
// tests as many as they like.
#pragma once

#include "authenticity/summary.h"
#include "extract/context.h"
#include "extract/selection.h"
#include "options/run_options.h"
#include "report/report.h"
#include "report/user_callbacks.h"
#include "zip/archive_state.h"

class Session {
 public:
  // callbacks: may be null when no question can come up (HELP, VERSION).
  Session(ReportFrontEnd& frontEnd, UserCallbacks* callbacks)
      : reporter(frontEnd), callbacks(callbacks), archive(callbacks) {}
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Names the archive (the program's own file when archiveName is null), opens it and loads
  // its directory.
  Status open(const char* archiveName);

  Reporter reporter;
  UserCallbacks* callbacks;
  ArchiveState archive;
  AuthenticitySummary authenticity;  // as gathered when the directory loaded
};

// One run: what it was asked, which entries, where their files go.
struct RunRequest {
  RunOptions options;
  NameLists names;          // no include name: every entry
  Text destination;  // '/' separators, ending in one; empty: the current directory
  ConsoleSink consoleSink = nullptr;
  // The front end's Cancel: set from another thread, it stops the run between reads of an
  // entry's data (every worker's) and before the next entry; the run ends with kExitCancelled.
  const std::atomic<bool>* cancel = nullptr;
};

// Runs the request's command over the session's archive. *processed (may be null) receives
// the count of entries tested or extracted. A fatal or archive error, and HELP and VERSION,
// come back as the status: the front end shows it and ends.
Status RunCommand(Session& session, const RunRequest& request, int* processed = nullptr);
// The walk over the entries: sort, select, extract each, then the authenticity check.
Status RunEntries(Session& session, const RunRequest& request, int* processed = nullptr);

// Trims a path to the part that exists, in place; leaves the current directory there.
void ResolveInitialDirectory(char* path);
