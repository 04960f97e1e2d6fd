// One run of the main dialog: the choices read back, the run itself, then the final message and
// the post-extraction actions.
#include <windows.h>
#include <ddeml.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "app/dialog_run.h"
#include "app/sfx/main_dialog_win32.h"
#include "app/sfx/sfx_win32.h"
#include "fs/format.h"
#include "report/report.h"
#include "report/string_ids.h"
#include "report/user_callbacks.h"
#include "resources/resource_ids.h"
#include "shell/extensions.h"
#include "shell/program_groups.h"

namespace {

// The DDE library calls back without a context of ours: the conversation is the stub's.
HDDEDATA CALLBACK DdeCallback(UINT type, UINT, HCONV conversation, HSZ, HSZ, HDDEDATA, ULONG_PTR,
                              ULONG_PTR) {
  HandleDdeEvent(gStub.dde, type, conversation);
  return nullptr;
}

// The chosen destination as a full path in its short form, ending with '\': the form that the
// program groups and the registry entries keep.
struct DestinationForActions {
  DestinationForActions() {
    PathBuffer full;
    fullPathOf(full, gStub.chosenDestination);
    // A full path longer than the destination's buffer keeps the destination as it was.
    if (std::strlen(full) < sizeof gStub.chosenDestination) {
      std::memcpy(gStub.chosenDestination, full.get(), std::strlen(full) + 1);
    }
    shortPathOf(text, gStub.chosenDestination, sizeof text);
    size_t length = std::strlen(text);
    if (length == 0 || text[length - 1] != '\\') {
      if (length + 1 < sizeof text) std::strcpy(text + length, "\\");
    }
  }
  char text[kPathSize + 2];
};

// "... com %d aviso(s)." with the run's warning count.
struct Summary {
  Summary(int summaryId, int warnings) {
    ResourceText format(summaryId);
    FormatText(text, sizeof text, format.get(), warnings);
  }
  char text[kStringSize + 16];
};

// With warnings, the action is asked for under the warning summary; without, it is done.
bool Agreed(HWND dialog, int warnings, const Summary& summary, int questionId, const char* list) {
  if (warnings != 0) {
    ResourceText question(questionId);
    // The list shown is the directive text up to its first separator (at most 1040 chars).
    char text[sizeof summary.text + kStringSize + 1041];
    FormatText(text, sizeof text, "%s%s%s", summary.text, question.get(), list ? list : "");
    return MessageBoxUtf8(dialog, text, Caption(dialog).get(), MB_ICONQUESTION | MB_YESNO) == IDYES;
  }
  return true;
}

// Last of the actions: the program may expect the groups and extensions in place, and the
// stub ends after starting it.
void OfferRunAfter(HWND dialog, int warnings, const Summary& summary) {
  const char* command = gStub.runAfter.command.c_str();
  if (gStub.postActionsAllowed && Agreed(dialog, warnings, summary, IDS_ASK_RUN, command)) {
    RunProgramAfter(dialog, command, DestinationForActions().text);
  }
}

void FinishRun(HWND dialog, bool test) {
  const int warnings = static_cast<int>(gStub.warnings);
  Summary summary(test ? IDS_TEST_WARNINGS : IDS_EXTRACT_WARNINGS, warnings);
  if (test) {
    if (warnings == 0) {
      ResourceText ok(IDS_TEST_OK);
      StubReporter().show(ok.get());
    } else {
      StubReporter().show(summary.text);
    }
    return;
  }

  SetupDirectives& directives = gStub.directives;
  uint16_t flags = directives.flags();
  bool showMessages = flags & kDirectiveShowMessages;
  if (warnings == 0 && showMessages) {
    ResourceText done(IDS_EXTRACT_DONE);
    StubReporter().show(done.get());
  }
  // Each check reads the flag afresh: a Cancel confirmed inside a question stops what follows.
  if (gStub.postActionsAllowed && (flags & kDirectiveCreateGroups) &&
      Agreed(dialog, warnings, summary, IDS_ASK_GROUPS, directives.programGroupText())) {
    CreateProgramGroups(gStub.dde, directives, DestinationForActions().text, StubReporter(),
                        reinterpret_cast<void*>(DdeCallback));
  }
  if (gStub.postActionsAllowed && (flags & kDirectiveRegisterExtensions) &&
      Agreed(dialog, warnings, summary, IDS_ASK_EXTENSIONS, ExtensionDisplayList(directives))) {
    SystemRegistry registry;
    RegisterExtensions(directives, DestinationForActions().text, registry, StubReporter());
  }
  const bool runOffered = gStub.runAfter.present() && gStub.runAfter.checked;
  bool asked = gStub.postActionsAllowed &&
               ((flags & (kDirectiveCreateGroups | kDirectiveRegisterExtensions)) != 0 || runOffered);
  if (warnings != 0 && showMessages && !asked) StubReporter().show(summary.text);
  if (runOffered) OfferRunAfter(dialog, warnings, summary);
}

}  // namespace

int FinishUnattended() {
  const DeployState& deploy = gStub.deploy;
  if (deploy.asked && deploy.asked->passwordWanted && deploy.log) {
    deploy.log->line(ResourceText(IDS_NO_PASSWORD).get(), "");
  }
  int code = DeploymentExitCode(Status(), gStub.session->reporter.warned(), deploy.asked);
  // A run that did not extract everything does nothing after it.
  if (code != kDeployExitSuccess) return code;
  SetupDirectives& directives = gStub.directives;
  uint16_t flags = directives.flags();
  if (flags & kDirectiveCreateGroups) {
    CreateProgramGroups(gStub.dde, directives, DestinationForActions().text, StubReporter(),
                        reinterpret_cast<void*>(DdeCallback));
  }
  if (flags & kDirectiveRegisterExtensions) {
    SystemRegistry registry;
    RegisterExtensions(directives, DestinationForActions().text, registry, StubReporter());
  }
  // The builder's box says whether the program runs; a run with switches waits for it and ends
  // with its code, which deployment tools read (3010: restart needed).
  if (gStub.runAfter.present() && gStub.runAfter.checked) {
    DWORD exitCode = kDeployExitFailed;
    if (RunProgramAndWait(nullptr, gStub.runAfter.command.c_str(), DestinationForActions().text, &exitCode) &&
        deploy.log) {
      char figure[16];
      FormatText(figure, sizeof figure, "%lu", static_cast<unsigned long>(exitCode));
      deploy.log->line(ResourceText(IDS_PROGRAM_ENDED).get(), figure);
    }
    code = static_cast<int>(exitCode);
  }
  return code;
}

void StartRun(HWND dialog, bool test) {
  ReadDialogOptions(dialog);
  SetRunControls(dialog, false);
  if (test) {
    // A test writes nothing: the extracted figure stays out of it.
    Enable(dialog, IDC_EXTRACTED_LABEL, false);
    Enable(dialog, IDC_EXTRACTED, false);
  }
  ShowIdleLine(dialog, false);
  SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, IDC_CANCEL)), TRUE);
  BeginProgress(dialog);
  Session& session = *gStub.session;
  if (session.callbacks) session.callbacks->ownerWindow = dialog;
  RunRequest request;
  request.options = DialogRunOptions(gStub.directives.flags(), test);
  gStub.run.stop = false;
  request.cancel = &gStub.run.stop;

  // Output paths are relative to the current directory, which the Extract button made the
  // destination.
  gStub.inRun = true;
  Status status = RunOffDialogThread(dialog, session, request);
  gStub.inRun = false;
  if (!status.ok()) EndStub(status);
  if (gStub.deploy.log) gStub.deploy.log->closing(test);
  if (!test) gStub.deploy.outcome = DeployState::Outcome::kExtracted;
  // A run that asks nothing, or runs from a temporary folder, does what follows the extraction
  // once the dialog has gone.
  if (gStub.deploy.autoRun) {
    StubReporter().setProgressWindow(nullptr);
    EndDialog(dialog, IDC_EXTRACT);
    return;
  }
  FinishRun(dialog, test);
  StubReporter().setProgressWindow(nullptr);
  if (!gStub.testing) EndDialog(dialog, IDC_EXTRACT);
}
