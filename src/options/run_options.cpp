// The run-settings record: its defaults, its release, and the command classes.
#include "options/run_options.h"

#include <cstring>

RunOptions gRunOptions;

namespace {

void FreeOwnedBuffers(RunOptions* options) {
  delete[] options->includeBlock;
  options->includeBlock = nullptr;
  delete[] options->excludeBlock;
  options->excludeBlock = nullptr;
  if (options->printDevice == options->printDeviceBuffer) options->printDevice = nullptr;
  delete[] options->printDeviceBuffer;
  options->printDeviceBuffer = nullptr;
  if (options->passwordText == options->passwordBuffer) options->passwordText = nullptr;
  delete[] options->passwordBuffer;
  options->passwordBuffer = nullptr;
}

}  // namespace

RunOptions::RunOptions() {
  includeBlock = excludeBlock = printDevice = printDeviceBuffer = passwordBuffer = nullptr;
  passwordText = nullptr;
  secondSwitchChar = '-';
  ResetOptions(this);
}

RunOptions::~RunOptions() { FreeOwnedBuffers(this); }

void ResetOptions(RunOptions* options) {
  FreeOwnedBuffers(options);
  options->command = kCommandExtract;
  options->Comment = 0;
  options->extractSelection = kSelectAll;
  options->Overwrite = kOverwriteAsk;
  options->attributeDropMask = 0xFFFFFFFFu;
  options->Path = 0;
  options->dateFilter = 0;
  options->requestedSort = 0;
  options->SortExtract = 0;
  options->Times = kTimeAccess | kTimeModify | kTimeCreate;
  options->LocaleDate = 2;
  options->NoExtended = 1;
  options->Header = 0;
  options->Move = 0;
  options->Password = 0;
  options->Recurse = 0;
  options->sortGiven = 0;
  options->volume = 0;
  options->switchChar = '-';
  options->listMarker = '@';
  // The password text points into an option word that belongs to the caller.
  options->passwordText = nullptr;
  options->printDevice = nullptr;
  options->AfterDate = 0;
  options->BeforeDate = 0;
}

void ZeroOptions(RunOptions* options) {
  FreeOwnedBuffers(options);
  std::memset(static_cast<void*>(options), 0, sizeof *options);
}

bool ReadsArchive(int command) {
  return command == kCommandExtract || command == kCommandTest || command == kCommandPrint ||
         command == kCommandConsole;
}

// Nothing this program does writes to an archive.
bool WritesArchive(int command) { return false; }

bool NeedsNoArchive(int command) {
  return command == kCommandHelp || command == kCommandVersion;
}
