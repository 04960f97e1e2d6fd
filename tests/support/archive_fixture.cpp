#include "archive_fixture.h"

#include <fstream>

#include "options/run_options.h"

ArchiveState* LoadArchive(const std::string& path, const std::string& bytes) {
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  DropArchive();
  if (!OpenOwnArchive(path.c_str())) return nullptr;
  return gArchiveState;
}

void DropArchive() {
  delete gArchiveState;
  gArchiveState = nullptr;
}
