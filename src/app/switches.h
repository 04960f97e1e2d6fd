// The command line of an archive whose builder allowed switches, and the exit codes that
// deployment tools read from such a run. Portable: the stub hands the line over in UTF-8.
#pragma once

#include "fs/text.h"
#include "report/status.h"
#include "report/user_callbacks.h"

struct Switches {
  bool any = false;       // some switch was given: the run ends with the deployment codes
  bool silent = false;    // /S: no window, no question
  bool progress = false;  // /P: progress and Cancel, no question (with or without /S)
  bool help = false;      // /?
  Text destination;       // /D=DIR
  Text log;               // /LOG=FILE
  Text unknown;           // the first word not understood (or a switch without its value)
  bool ok() const { return unknown.empty(); }
  // No question is put to the user.
  bool unattended() const { return silent || progress; }
  // No window is shown.
  bool windowless() const { return silent && !progress; }
};

// The switches of a process's whole command line, the program's name first. Words split at
// blanks as Windows splits a program's arguments (quotes group, backslashes before a quote
// escape it), except that an unquoted /D= takes the rest of the line as it stands: a folder
// may then hold blanks without quotes. /D= is therefore the last switch. Case does not matter.
Switches ParseSwitches(const char* commandLine);

// The exit codes of runs started with switches, those that deployment tools already know.
constexpr int kDeployExitSuccess = 0;
constexpr int kDeployExitPassword = 86;    // an encrypted entry and no way to ask for the password
constexpr int kDeployExitDiskFull = 112;
constexpr int kDeployExitCancelled = 1602;
constexpr int kDeployExitFailed = 1603;
constexpr int kDeployExitBusy = 1618;      // another run of the same archive is under way
constexpr int kDeployExitUsage = 1639;     // a switch that is not understood

class UnattendedCallbacks;
// The code of a run with switches that ended with status; warned: a warning was reported (an
// entry that was not extracted whole); asked: the callbacks of a run that could ask nothing, or
// null. The codes of runs without switches stay those of the status itself.
int DeploymentExitCode(const Status& status, bool warned, const UnattendedCallbacks* asked);

// The questions of a run that may ask nothing. Each takes the answer that loses nothing: an
// existing file is kept, nothing is registered or run on a question, and a disk or a password
// that would have to be asked for ends the run (the stub then ends with kDeployExitPassword or
// kDeployExitFailed, never waiting for anybody).
class UnattendedCallbacks : public UserCallbacks {
 public:
  int AskOverwrite(const char*, const CentralHeader*) override { return 'N'; }
  int AskLastDisk() override;
  int AskDisk(int) override;
  char* GetPassword(char* buffer, int size) override;
  int AskYesNo(const char*) override { return 0; }
  int AskPassword(const char*, char*, int) override;

  bool passwordWanted = false;
  bool diskWanted = false;
};
