// The DDE client side of the Program Manager conversation, through the DDE management library.
#include <windows.h>
#include <ddeml.h>

#include <cstring>

#include "fs/codepage.h"
#include "fs/text.h"
#include "shell/program_groups.h"

namespace {

HCONV Conversation(const DdeState& state) { return static_cast<HCONV>(state.conversation); }

class ProgramManagerChannel : public DdeChannel {
 public:
  explicit ProgramManagerChannel(DdeState& state) : state_(state) {}

  // PumpMessages without a dialog window.
  void pumpMessages() override {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) break;
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }

  bool execute(const char* command, uint32_t timeoutMs) override {
    // Program Manager takes its commands as ANSI text (1252); ours are UTF-8.
    Text ansi(command);
    ansi.data()[Utf8ToAnsiInPlace(ansi.data(), ansi.size())] = '\0';
    // The server may have hung up in the meantime; the library then reports the error.
    HDDEDATA result = DdeClientTransaction(
        reinterpret_cast<LPBYTE>(ansi.data()),
        static_cast<DWORD>(std::strlen(ansi.c_str()) + 1), Conversation(state_), nullptr, CF_TEXT,
        XTYP_EXECUTE, timeoutMs, nullptr);
    return result != nullptr;
  }

  int lastError() override { return static_cast<int>(DdeGetLastError(state_.instance)); }

 private:
  DdeState& state_;
};

}  // namespace

void CreateProgramGroups(DdeState& state, const SetupDirectives& directives,
                         const char* destination, Reporter& reporter, void* callback) {
  state.reporter = &reporter;
  if (!state.instance) {
    DWORD instance = 0;
    if (DdeInitializeA(&instance, reinterpret_cast<PFNCALLBACK>(callback), APPCMD_CLIENTONLY, 0) !=
        DMLERR_NO_ERROR) {
      return;
    }
    state.instance = instance;
  }
  if (!state.service) {
    state.service = DdeCreateStringHandleA(state.instance, "PROGMAN", CP_WINANSI);
    if (!state.service) return;
  }
  if (!state.conversation) {
    HSZ service = static_cast<HSZ>(state.service);
    state.conversation = DdeConnect(state.instance, service, service, nullptr);
    // No Program Manager is running: nothing to do, nothing to say.
    if (!state.conversation) return;
  }
  ProgramManagerChannel channel(state);
  SendGroupCommands(directives, channel, destination, reporter);
}

void EndDdeConversation(DdeState& state) {
  if (state.conversation) DdeDisconnect(Conversation(state));
  state.conversation = nullptr;
  if (state.service) DdeFreeStringHandle(state.instance, static_cast<HSZ>(state.service));
  state.service = nullptr;
  if (state.instance) DdeUninitialize(state.instance);
  state.instance = 0;
  state.reporter = nullptr;
}
