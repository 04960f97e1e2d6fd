// A test or an extraction whose entries are decoded on worker threads. The run thread walks the
// entries in order and does all that asks the user or must stay in order (selection, names,
// overwrite questions, the password check, output files); each entry's data is decoded, checked
// and written by a worker; what each entry reported is said again on the run thread in entry
// order, so that messages, questions, counts and exit codes are those of a run on one thread.
#pragma once

#include "app/session.h"

// Workers for a run: VESPA_WORKERS when set (1: the run thread decodes alone), else the
// machine's cores.
unsigned RunWorkerCount();
// Whether the request's run can use workers: a test or an extraction, not of a spanned set
// (whose disks come in one order), with more than one worker.
bool RunsOnWorkers(const Session& session, const RunRequest& request, unsigned workers);
// RunEntries on workers. *ran false (and nothing done) when the workers could not be set up:
// the caller runs on one thread instead.
Status RunEntriesOnWorkers(Session& session, const RunRequest& request, unsigned workers,
                           int* processed, bool* ran);
