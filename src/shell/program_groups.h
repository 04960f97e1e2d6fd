// Program Manager groups after an extraction: the commands of the directives' group block,
// "%0" replaced by the destination, sent one by one as DDE execute transactions to the
// service and topic "PROGMAN".
#pragma once

#include <cstdint>

#include "report/report.h"
#include "shell/setup_directives.h"

constexpr uint32_t kGroupCommandTimeoutMs = 5000;
constexpr uint32_t kGroupRetryTimeoutMs = 1000;
constexpr int kGroupCommandRetries = 10;
// DDE errors after which a command is sent again.
constexpr int kDdeErrorBusy = 0x4001;
constexpr int kDdeErrorExecuteAckTimeout = 0x4005;

// One open conversation with the Program Manager.
class DdeChannel {
 public:
  virtual ~DdeChannel() = default;
  // Lets the message queue run: the DDE exchange travels through it.
  virtual void pumpMessages() = 0;
  // Sends the command (its bytes and the NUL) as an execute transaction; false when it failed.
  virtual bool execute(const char* command, uint32_t timeoutMs) = 0;
  // The last DDE error, 0 when none.
  virtual int lastError() = 0;
};

// Sends every command of the (split) group block: the first string is the text shown to the
// user, the commands follow. A command that fails after its retries shows message 350; a
// failed first command abandons the rest.
void SendGroupCommands(const SetupDirectives& directives, DdeChannel& channel,
                       const char* destination, Reporter& reporter);

// The conversation's handles, owned by the stub from the first group creation to its end. Win32.
struct DdeState {
  uint32_t instance = 0;
  void* service = nullptr;       // the string handle of "PROGMAN"
  void* conversation = nullptr;  // cleared when the server disconnects
  Reporter* reporter = nullptr;  // where the conversation's own errors are shown
};

// Events the DDE library reports through its callback.
constexpr unsigned kDdeEventError = 0x8002;       // XTYP_ERROR: a critical DDE error
constexpr unsigned kDdeEventDisconnect = 0x80C2;  // XTYP_DISCONNECT: the server hung up
// What the callback does with an event (its type, the conversation it concerns): message 462
// for an error, 461 for a disconnection, which also forgets the conversation.
void HandleDdeEvent(DdeState& state, unsigned type, void* conversation);

// Connects to the Program Manager and sends the group commands. Without DDE or without a
// Program Manager nothing happens and nothing is shown. The handles stay open in state.
// callback: the program's DDE callback (a PFNCALLBACK), which the library calls without any
// context of ours; it hands each event to HandleDdeEvent with the program's own state.
void CreateProgramGroups(DdeState& state, const SetupDirectives& directives,
                         const char* destination, Reporter& reporter, void* callback);
// Releases whatever the conversation left open.
void EndDdeConversation(DdeState& state);
