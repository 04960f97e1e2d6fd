// The attributes an extracted file or directory gets: the entry's external attributes, cut to
// the DOS byte where the entry says so, with the attributes the run drops (MASK) taken out.
#pragma once

#include <cstdint>

#include "options/run_options.h"

struct CentralHeader;

// Set on the file once its data is written.
uint32_t FileAttributes(const RunOptions& options, const CentralHeader& entry);
// Asked for when the file is created: only entries from hosts that keep DOS attributes in the
// low byte give theirs; the others get the archive attribute alone.
uint32_t CreationAttributes(const RunOptions& options, const CentralHeader& entry);
// Set on a directory made for a directory entry.
uint32_t DirectoryAttributes(const RunOptions& options, const CentralHeader& entry);
