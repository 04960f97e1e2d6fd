// Opens an archive file through the process-wide archive state, as start-up does. Test-only.
#pragma once

#include <string>

#include "app/app.h"
#include "zip/archive_state.h"

// Writes bytes to path, then opens and loads it as the archive; returns the archive state.
ArchiveState* LoadArchive(const std::string& path, const std::string& bytes);
// Destroys the process-wide archive state (and with it the name lists and the directory).
void DropArchive();
