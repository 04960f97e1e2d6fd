// A run on a thread of its own. The dialog's thread waits for three things at once: its
// messages (drawn and dispatched as ever, Cancel included), a call that the run hands it (a
// question, a message box) and the run's end; between them it draws the run's progress every
// kDrawInterval milliseconds. Calls are made only here, at the top of this loop, never inside
// a message box that the dialog shows for itself, so the windows come in the order the run
// asks for them.
#include "app/sfx/main_dialog_win32.h"
#include "app/sfx/sfx_win32.h"

namespace {

// About 25 drawings a second: as fast as the eye reads the lines.
constexpr DWORD kDrawInterval = 40;
// The reserve of the program's first thread, which ran the engine until the run had a thread
// of its own (the linker's default of the PE header).
constexpr SIZE_T kRunStackReserve = 2u << 20;

struct RunThreadArguments {
  Session* session;
  const RunRequest* request;
  Status status;
};

DWORD WINAPI RunThreadMain(void* argument) {
  auto* run = static_cast<RunThreadArguments*>(argument);
  run->status = RunCommand(*run->session, *run->request);
  return 0;
}

void Nothing(void*) {}

// Makes the call that waits, with the dialog drawn as the run left it.
void MakeCall(HWND dialog) {
  RunLink& run = gStub.run;
  ResetEvent(run.callReady);
  ShowProgress(dialog);
  run.callFunction(run.callArgument);
  SetEvent(run.callDone);
}

}  // namespace

void CallOnDialogThread(void (*function)(void*), void* argument) {
  RunLink& run = gStub.run;
  if (!run.active || GetCurrentThreadId() == run.dialogThread) {
    function(argument);
    return;
  }
  run.callFunction = function;
  run.callArgument = argument;
  SetEvent(run.callReady);
  WaitForSingleObject(run.callDone, INFINITE);
}

void PollRun() {
  // A run told to stop goes on to its end instead: its reads fail, its workers are joined and
  // the files they began are taken away before the program ends.
  if (gStub.run.hold.load(std::memory_order_relaxed) && !gStub.run.stop.load()) {
    CallOnDialogThread(Nothing, nullptr);
  }
}

Status RunOffDialogThread(HWND dialog, Session& session, const RunRequest& request) {
  RunLink& run = gStub.run;
  RunThreadArguments arguments{&session, &request, Status()};
  run.dialogThread = GetCurrentThreadId();
  if (!run.callReady) run.callReady = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!run.callDone) run.callDone = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  run.hold = false;
  HANDLE thread = nullptr;
  if (run.callReady && run.callDone) {
    run.active = true;
    thread = CreateThread(nullptr, kRunStackReserve, RunThreadMain, &arguments,
                          STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    run.active = thread != nullptr;
    run.thread = thread;
  }
  if (!thread) {
    // No thread to be had: the run goes on this one, drawn at its end.
    RunThreadMain(&arguments);
    ShowProgress(dialog);
    return arguments.status;
  }
  HANDLE waits[2] = {run.callReady, thread};
  DWORD drawn = GetTickCount();
  for (;;) {
    DWORD since = GetTickCount() - drawn;
    DWORD woken = MsgWaitForMultipleObjectsEx(2, waits, since < kDrawInterval ? kDrawInterval - since : 0,
                                              QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woken == WAIT_OBJECT_0) {
      MakeCall(dialog);
    } else if (woken == WAIT_OBJECT_0 + 1) {
      break;
    } else if (woken == WAIT_OBJECT_0 + 2) {
      PumpMessages(dialog);
    }
    if (GetTickCount() - drawn >= kDrawInterval) {
      ShowProgress(dialog);
      drawn = GetTickCount();
    }
  }
  run.active = false;
  run.thread = nullptr;
  CloseHandle(thread);
  ShowProgress(dialog);
  return arguments.status;
}

void StopRunForExit() {
  RunLink& run = gStub.run;
  if (!run.active) return;
  // The run may be asking for this window's caption: sent messages are answered meanwhile. A
  // call it hands over on its way out (a message box) is not made: the user is leaving. Without
  // the stop, the run waits parked at its next report and is left there.
  const bool stopping = run.stop.load();
  HANDLE waits[2] = {run.callReady, run.thread};
  for (;;) {
    DWORD woken = MsgWaitForMultipleObjects(2, waits, FALSE, INFINITE, QS_SENDMESSAGE);
    if (woken == WAIT_OBJECT_0 && stopping) {
      ResetEvent(run.callReady);
      SetEvent(run.callDone);
      continue;
    }
    if (woken != WAIT_OBJECT_0 + 2) return;
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}
