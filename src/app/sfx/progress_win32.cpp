// The main dialog's side of a run: the message pump that keeps it responsive, and the progress
// notifications that fill its status lines and figures.
#include <cmath>
#include <initializer_list>

#include "shell/directive_flags.h"
#include "app/sfx/main_dialog_win32.h"
#include "app/sfx/sfx_win32.h"
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

namespace {

void SetLoadedText(HWND dialog, int id, int stringId) {
  ResourceText text(stringId);
  SetControlTextUtf8(dialog, id, text.get());
}

void ShowExtractedFigure(HWND dialog) {
  char figure[kKilobytesTextSize];
  SetControlTextUtf8(dialog, IDC_EXTRACTED,
                  FormatKilobytes(static_cast<uint64_t>(std::ceil(gStub.extractedBytes / 1024)),
                                  figure));
}

// The file just written, as the item line names it, counts with its size on disk.
void CountExtractedFile(HWND dialog) {
  char name[kPathSize + 1] = {};
  GetControlTextUtf8(dialog, IDC_PROGRESS_ITEM, name, kPathSize);
  FindInfo info{};
  SearchHandle search = findFirst(name, &info);
  if (search != kNoSearch) {
    endSearch(search);
    gStub.extractedBytes += info.size;
  }
  ShowExtractedFigure(dialog);
}

}  // namespace

// Every run counts its own warnings and kilobytes: a test after a test must not report the
// warnings of the first, and FinishRun reads the count of this run from gStub.warnings.
void BeginProgress(HWND dialog) {
  StubReporter().setProgressWindow(dialog);
  gStub.warnings = 0;
  gStub.extractedBytes = 0;
  SetDlgItemInt(dialog, IDC_WARNINGS, 0, FALSE);
  ShowExtractedFigure(dialog);
  for (int id : {IDC_PROGRESS_ACTION, IDC_PROGRESS_ITEM, IDC_PROGRESS_MARKER}) {
    SetControlTextUtf8(dialog, id, "");
  }
}

BOOL OnProgress(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  (void)wParam;
  // A click on "&Cancelar" waiting in the queue is handled here, in the middle of the run.
  PumpMessages(dialog);
  const char* text = reinterpret_cast<const char*>(lParam);
  switch (message) {
    case UM_ITEM:
      SetControlTextUtf8(dialog, IDC_PROGRESS_MARKER, "");
      SetControlTextUtf8(dialog, IDC_PROGRESS_ITEM, text);
      break;
    case UM_TESTED:
      SetLoadedText(dialog, IDC_PROGRESS_ACTION, IDS_TESTED);
      break;
    case UM_WARNING:
      ++gStub.warnings;
      SetDlgItemInt(dialog, IDC_WARNINGS, gStub.warnings, FALSE);
      SetLoadedText(dialog, IDC_PROGRESS_ACTION, IDS_WARNING);
      SetControlTextUtf8(dialog, IDC_PROGRESS_MARKER, "");
      SetControlTextUtf8(dialog, IDC_PROGRESS_ITEM, text);
      if (gStub.directives.flags() & kDirectiveShowMessages) StubReporter().show(text);
      break;
    case UM_EXTRACTED:
      if (!gStub.testing) CountExtractedFile(dialog);
      SetLoadedText(dialog, IDC_PROGRESS_ACTION, IDS_EXTRACTED);
      break;
    case UM_ACTION:
      SetControlTextUtf8(dialog, IDC_PROGRESS_ACTION, text);
      break;
    case UM_SKIPPING:
      SetLoadedText(dialog, IDC_PROGRESS_ACTION, IDS_SKIPPING);
      SetControlTextUtf8(dialog, IDC_PROGRESS_MARKER, "");
      SetControlTextUtf8(dialog, IDC_PROGRESS_ITEM, text);
      break;
    case UM_AUTHENTIC:
      SetLoadedText(dialog, IDC_PROGRESS_MARKER, IDS_AUTHENTIC_MARK);
      break;
    case UM_TESTING:
      SetLoadedText(dialog, IDC_PROGRESS_ACTION, IDS_TESTING);
      SetControlTextUtf8(dialog, IDC_PROGRESS_ITEM, "");
      SetControlTextUtf8(dialog, IDC_PROGRESS_MARKER, "");
      break;
    default:
      break;
  }
  return TRUE;
}
