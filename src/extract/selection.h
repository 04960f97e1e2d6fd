// Which entries a run touches: name patterns, date filters, freshen and update.
#pragma once

#include <cstdint>

#include "extract/name_lists.h"

class ArchiveState;
struct CentralHeader;

int SelectEntry(ArchiveState* archive, const CentralHeader* entry);
int SelectByTarget(ArchiveState* archive, const CentralHeader* entry);
int MatchNameLists(const NameLists* lists, const char* name, uint32_t length);
int MatchWildcard(const char* pattern, const char* name);
