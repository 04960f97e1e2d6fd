// The builder's own check of what it wrote: a test run of the engine itself, in this process,
// over the finished file, as the stub's "&Testar" runs it. In-process rather than through
// vespa-console: the builder then needs no other program beside it, and it is always the same
// engine version as the stub it was built with.
#pragma once

#include <string>

struct EngineCheck {
  bool ok = false;
  std::string problems;  // what the engine reported, UTF-8, one line each
};

// path: UTF-8. password: UTF-8, as a user types it, empty when no entry is encrypted. Returns "" when
// the check could run (its outcome in *check), else why it could not.
std::string CheckWithEngine(const std::string& path, const std::string& password,
                            EngineCheck* check);
