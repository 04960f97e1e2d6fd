// Opening the session's archive (directory and authenticity summary), and the stub's start-up
// directory.
#include "app/session.h"

#include "fs/fs.h"

Status Session::open(const char* archiveName) {
  if (archiveName) {
    archive.setArchiveName(archiveName);
  } else {
    char modulePath[kPathSize] = {};
    moduleFileName(modulePath, kPathSize);
    archive.setArchiveName(modulePath);
  }
  if (!archive.openArchive()) {
    return archive.failed() ? archive.status()
                            : Status::Fatal(kFatalArchiveNotFound, archive.requestedName);
  }
  Status status = archive.readDirectory();
  if (!status.ok()) return status;
  if (readNamedStream(archive.archivePath, kZoneIdentifierStream, &archive.zoneMark) != 0) {
    archive.zoneMark = Text();
  }
  authenticity = GatherAuthenticitySummary(archive.entries(), archive.entryCount);
  return status;
}

void ResolveInitialDirectory(char* path) {
  size_t cut = 0;  // where the path is cut when a prefix cannot be entered
  for (size_t i = 0; path[i]; ++i) {
    if (path[i] != '\\') continue;
    if (i == 0 || path[i - 1] == ':') continue;
    path[i] = 0;
    bool entered = setCurrentDir(path) == 0;
    path[i] = '\\';
    if (!entered) {
      path[cut] = 0;
      return;
    }
    cut = i;
  }
}
