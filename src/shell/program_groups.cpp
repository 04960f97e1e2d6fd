#include "shell/program_groups.h"

#include <cstring>

#include "report/string_ids.h"

namespace {

bool Retryable(int error) { return error == kDdeErrorExecuteAckTimeout || error == kDdeErrorBusy; }

}  // namespace

void HandleDdeEvent(DdeState& state, unsigned type, void* conversation) {
  int id = 0;
  switch (type & 0xFFFF) {
    case kDdeEventError & 0xFFFF:
      id = IDS_DDE_CRITICAL;
      break;
    case kDdeEventDisconnect & 0xFFFF:
      id = IDS_DDE_DISCONNECTED;
      if (conversation && conversation == state.conversation) state.conversation = nullptr;
      break;
    default:
      return;
  }
  if (!state.reporter) return;
  char* text = LoadResourceText(state.reporter->frontEnd(), id, 256);
  if (text) state.reporter->show(text);
  delete[] text;
}

void SendGroupCommands(const SetupDirectives& directives, DdeChannel& channel,
                       const char* destination, Reporter& reporter) {
  const char* shown = directives.programGroupText();
  if (!shown) return;
  bool first = true;
  for (const char* command = shown + std::strlen(shown) + 1; *command;
       command += std::strlen(command) + 1) {
    Text sent = ReplaceAll(command, destination, "%0");
    channel.pumpMessages();
    bool done = channel.execute(sent.c_str(), kGroupCommandTimeoutMs);
    int error = channel.lastError();
    for (int retries = 0; !done && Retryable(error) && retries < kGroupCommandRetries; ++retries) {
      channel.pumpMessages();
      done = channel.execute(sent.c_str(), kGroupRetryTimeoutMs);
      error = channel.lastError();
    }
    if (error != 0) {
      char* text = LoadResourceText(reporter.frontEnd(), IDS_GROUP_ERROR, 256);
      if (text) reporter.show(text);
      delete[] text;
      // Later commands usually add items to the group the first one makes.
      if (first) return;
    }
    first = false;
  }
}
