// The figures of the main dialog: the space the archive needs and the space the drive has, in
// kilobytes rounded up. Sixty-four bits wide: a disk of today holds more than 2^32 kilobytes.
#pragma once

#include <cstdint>

class ArchiveState;

// The sum of the entries' uncompressed sizes, in kilobytes rounded up; 0 without an archive.
uint64_t RequiredKilobytes(const ArchiveState* archive);

// Free kilobytes of a drive from its cluster size and free-cluster count. A cluster smaller
// than a kilobyte is multiplied out before dividing, a larger one divided first.
uint64_t FreeKilobytes(uint32_t clusterBytes, uint32_t freeClusters);
