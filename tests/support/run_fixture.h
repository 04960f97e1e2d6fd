// Runs commands over an archive the way the front ends do: a session, option words parsed
// into a run request, the driver. Test-only.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/session.h"
#include "archive_fixture.h"
#include "options/parser.h"
#include "recording_front_end.h"
#include "text_support.h"
#include "report/user_callbacks.h"

// Answers every question from a script; records what was asked. Like the front ends' own
// callbacks, it keeps the last password typed for the runs after it.
class ScriptedCallbacks : public UserCallbacks {
 public:
  std::vector<int> overwriteAnswers;  // consumed in order; 'N' when exhausted
  std::vector<std::pair<int, std::string>> passwordAnswers;  // (answer, password)
  std::vector<std::string> asked;  // "overwrite:NAME", "password:NAME"
  std::string typedPassword;       // what GetPassword hands over

  int AskOverwrite(const char* name, const CentralHeader*) override;
  // Disk prompts ask onDisk with 0 for the last disk, else the disk's number; without it
  // they are cancelled. Each is recorded as "last disk" or "disk:N".
  std::function<int(int disk)> onDisk;
  int AskLastDisk() override;
  int AskDisk(int disk) override;
  char* GetPassword(char* buffer, int size) override;
  int AskYesNo(const char*) override { return 0; }
  int AskPassword(const char* entryName, char* buffer, int size) override;
};

// A session with a recording front end (the progress window) and scripted callbacks.
struct TestSession {
  TestSession() { session.reporter.setProgressWindow(&front); }
  RecordingFrontEnd front;
  ScriptedCallbacks callbacks;
  Session session{front, &callbacks};
};

// Parses words (option words and names; the archive name is already known, so names select
// entries or give the destination) into a run request.
Status ParseRequest(const std::vector<std::string>& words, RunRequest* request);

// Loads bytes as the session's archive (written to archivePath), parses words and runs the
// command. Returns the driver's count, or -1 when the archive did not load; *status (may be
// null) receives how the run ended.
int RunOn(TestSession& test, const std::string& archivePath, const std::string& bytes,
          const std::vector<std::string>& words, Status* status = nullptr);
// Runs words over the archive the session already holds.
int RunAgain(TestSession& test, const std::vector<std::string>& words, Status* status = nullptr);
