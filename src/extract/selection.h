// Which entries a run touches: name patterns, date filters, freshen and update.
#pragma once

#include <cstdint>

#include "fs/text.h"
#include "options/run_options.h"

struct CentralHeader;

// The include and exclude name patterns of a run, '/' separators.
struct NameLists {
  TextList include;  // empty: every name
  TextList exclude;
};

int SelectEntry(const NameLists& names, const RunOptions& options, const CentralHeader* entry);
// destination: where the run writes (ends in a separator, or is empty).
int SelectByTarget(const RunOptions& options, const char* destination, const CentralHeader* entry);
int MatchNameLists(const NameLists& lists, const char* name, uint32_t length);
int MatchWildcard(const char* pattern, const char* name);
