// Opens an archive file in a session, as start-up does. Test-only.
#pragma once

#include <memory>
#include <string>

#include "app/session.h"
#include "recording_front_end.h"
#include "text_support.h"

// Writes bytes to path, then opens and loads it as the session's archive; returns the status.
Status LoadArchive(Session& session, const std::string& path, const std::string& bytes);

// A session over a recording front end, for tests that only load archives.
struct LoadedArchive {
  explicit LoadedArchive(bool asProgressWindow = false) : front(asProgressWindow) {
    session.reporter.setProgressWindow(front.reporter().progressWindow());
  }
  RecordingFrontEnd front;
  Session session{front, nullptr};
  ArchiveState& archive() { return session.archive; }
};

// A new session over a recording front end (not the progress window) that holds the archive of bytes written to path, or null with
// *status (may be null) saying why not.
std::unique_ptr<LoadedArchive> LoadArchive(const std::string& path, const std::string& bytes,
                                           Status* status = nullptr);
