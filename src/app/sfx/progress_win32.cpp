// The main dialog's side of a run's progress: what the run reports is kept (on the run's
// thread), and the dialog draws the latest of it in its status lines and figures at its own
// pace (on its thread), so that a run of many small entries costs what the engine costs.
#include <initializer_list>

#include "shell/directive_flags.h"
#include "app/sfx/main_dialog_win32.h"
#include "app/sfx/sfx_win32.h"
#include "fs/format.h"
#include "report/report.h"
#include "report/string_ids.h"
#include "resources/resource_ids.h"

void PumpMessages(HWND dialog) {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) break;
    if (dialog && IsDialogMessageA(dialog, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void SetControlText(HWND dialog, int id, const char* text) { SetControlTextUtf8(dialog, id, text); }

namespace {

// A report changes the kept state under the lock; the dialog sees it at its next drawing.
class Report {
 public:
  Report() : progress_(gStub.run.progress) {
    PollRun();
    EnterCriticalSection(&gStub.run.lock);
  }
  ~Report() {
    ++progress_.changes;
    LeaveCriticalSection(&gStub.run.lock);
  }
  Report(const Report&) = delete;
  Report& operator=(const Report&) = delete;
  ReportedProgress* operator->() { return &progress_; }

 private:
  ReportedProgress& progress_;
};

void SetLoadedText(HWND dialog, int id, int stringId) {
  ResourceText text(stringId);
  SetControlText(dialog, id, text.get());
}

void DrawFigures(HWND dialog, unsigned warnings, uint64_t extractedBytes) {
  char figure[kKilobytesTextSize];
  FormatText(figure, sizeof figure, "%u", warnings);
  SetControlText(dialog, IDC_WARNINGS, figure);
  // Kilobytes rounded up: a file of one byte shows 1K.
  SetControlText(dialog, IDC_EXTRACTED, FormatKilobytes((extractedBytes + 1023) / 1024, figure));
}

}  // namespace

// Every run counts its own warnings and kilobytes: a test after a test must not report the
// warnings of the first, and FinishRun reads the count of this run from gStub.warnings.
void BeginProgress(HWND dialog) {
  StubReporter().setProgressWindow(dialog);
  RunLink& run = gStub.run;
  if (!run.lockReady) {
    InitializeCriticalSection(&run.lock);
    run.lockReady = true;
  }
  run.progress.actionId = 0;
  run.progress.actionLabel[0] = 0;
  run.progress.item = Text();
  run.progress.authentic = false;
  run.progress.warnings = 0;
  run.progress.extractedBytes = 0;
  run.progress.writingBytes = 0;
  run.progress.changes = 0;
  run.drawnChanges = 0;
  gStub.warnings = 0;
  DrawFigures(dialog, 0, 0);
  for (int id : {IDC_PROGRESS_ACTION, IDC_PROGRESS_ITEM, IDC_PROGRESS_MARKER}) {
    SetControlText(dialog, id, "");
  }
}

void ShowProgress(HWND dialog) {
  RunLink& run = gStub.run;
  EnterCriticalSection(&run.lock);
  if (run.progress.changes == run.drawnChanges) {
    LeaveCriticalSection(&run.lock);
    return;
  }
  ReportedProgress seen;
  seen.actionId = run.progress.actionId;
  FormatText(seen.actionLabel, sizeof seen.actionLabel, "%s", run.progress.actionLabel);
  seen.item = run.progress.item;
  seen.authentic = run.progress.authentic;
  seen.warnings = run.progress.warnings;
  seen.extractedBytes = run.progress.extractedBytes + run.progress.writingBytes;
  run.drawnChanges = run.progress.changes;
  LeaveCriticalSection(&run.lock);

  gStub.warnings = seen.warnings;
  if (seen.actionId) {
    SetLoadedText(dialog, IDC_PROGRESS_ACTION, seen.actionId);
  } else {
    SetControlText(dialog, IDC_PROGRESS_ACTION, seen.actionLabel);
  }
  SetControlText(dialog, IDC_PROGRESS_ITEM, seen.item.c_str());
  if (seen.authentic) {
    SetLoadedText(dialog, IDC_PROGRESS_MARKER, IDS_AUTHENTIC_MARK);
  } else {
    SetControlText(dialog, IDC_PROGRESS_MARKER, "");
  }
  DrawFigures(dialog, seen.warnings, seen.extractedBytes);
}

void ReportTesting() {
  Report report;
  report->actionId = IDS_TESTING;
  report->item = Text();
  report->authentic = false;
}

void ReportAction(const char* label) {
  Report report;
  report->actionId = 0;
  FormatText(report->actionLabel, sizeof report->actionLabel, "%s", label);
}

void ReportItem(const char* name) {
  Report report;
  report->writingBytes = 0;
  report->authentic = false;
  report->item = name;
}

void ReportTested() {
  Report report;
  report->actionId = IDS_TESTED;
}

void ReportExtracted(uint64_t bytes) {
  Report report;
  if (!gStub.testing) report->extractedBytes += bytes;
  report->writingBytes = 0;
  report->actionId = IDS_EXTRACTED;
}

void ReportWriting(uint64_t bytes) {
  if (gStub.testing) return;
  Report report;
  report->writingBytes = bytes;
}

void ReportSkipping(const char* name) {
  Report report;
  report->writingBytes = 0;
  report->actionId = IDS_SKIPPING;
  report->authentic = false;
  report->item = name;
}

void ReportAuthentic() {
  Report report;
  report->authentic = true;
}

void ReportWarning(const char* text) {
  {
    Report report;
    ++report->warnings;
    report->writingBytes = 0;
    report->actionId = IDS_WARNING;
    report->authentic = false;
    report->item = text;
  }
  // Shown over the dialog as it stands with the warning drawn.
  if (gStub.directives.flags() & kDirectiveShowMessages) StubReporter().show(text);
}
