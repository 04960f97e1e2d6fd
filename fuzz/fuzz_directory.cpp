// The archive reader over arbitrary bytes: end-record search, directory load, the overlap check
// of vespa-console, and for every entry its local header and the start of its data.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "fuzz_support.h"
#include "zip/archive_state.h"
#include "zip/overlaps.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = fuzz::WriteScratchFile("archive.zip", data, size);
  ArchiveState archive;
  archive.setArchiveName(path.c_str());
  if (!archive.openArchive()) return 0;
  if (!archive.readDirectory().ok()) return 0;
  if (!CheckEntryOverlaps(archive).ok()) return 0;

  // A failed seek stops every read after it (the reader's status is sticky): walk until then.
  static uint8_t buffer[4096];
  for (uint32_t i = 0; i < archive.entryCount && !archive.failed(); ++i) {
    const CentralHeader& entry = archive.entries()[i];
    archive.seekEntryData(entry);
    uint32_t wanted = entry.compressedSize < sizeof buffer ? entry.compressedSize : sizeof buffer;
    archive.readArchive(buffer, wanted);
  }
  return 0;
}
