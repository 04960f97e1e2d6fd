// Entries whose data share bytes with another entry, or with the central directory: the shape
// of an archive built to expand far beyond its size (the same compressed bytes decoded again
// and again). The stub reads its own archive, made by our builder, and does not look; a
// program that takes archives from anywhere refuses such an archive before any entry is read.
#pragma once

#include "report/status.h"

class ArchiveState;

// Reads every entry's local header to find where its data ends. An overlap comes back as an
// archive error that names the entries (or the entry and the central directory); an archive
// whose local headers cannot be read comes back with the reader's own status. A spanned set is
// not looked at: its offsets count from the start of each disk.
Status CheckEntryOverlaps(ArchiveState& archive);
