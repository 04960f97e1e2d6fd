#include "app/figures.h"

#include "zip/archive_state.h"

uint64_t RequiredKilobytes(const ArchiveState* archive) {
  if (!archive || !archive->entries()) return 0;
  uint64_t total = 0;
  const CentralHeader* entries = archive->entries();
  for (uint32_t i = 0; i < archive->entryCount; ++i) total += entries[i].uncompressedSize;
  return (total + 1023) / 1024;
}

uint64_t FreeKilobytes(uint32_t clusterBytes, uint32_t freeClusters) {
  if (clusterBytes < 1024) return (uint64_t{clusterBytes} * freeClusters) / 1024;
  return uint64_t{clusterBytes / 1024} * freeClusters;
}
