// The main dialog: the open-file common dialog, used only to choose the destination directory
// and drive, with template 1000 and this hook procedure for everything else. One procedure
// dispatches each message to a named handler.
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "app/destination.h"
#include "app/figures.h"
#include "app/sfx/main_dialog_win32.h"
#include "app/sfx/sfx_win32.h"
#include "fs/codepage.h"
#include "fs/format.h"
#include "report/report.h"
#include "shell/directive_flags.h"
#include "report/string_ids.h"
#include "resources/resource_ids.h"
#include "zip/archive_state.h"

namespace {

constexpr int kCaptionSize = 512;


}  // namespace

uint16_t ArchiveCommentLength() {
  const EndRecord* end = gStub.session ? gStub.session->archive.endRecord() : nullptr;
  return end ? end->commentLength : 0;
}

// --- dialog state -------------------------------------------------------------------------
namespace {
// Controls that the user may change while idle and that a run locks.
const int kRunLockedControls[] = {IDC_DESTINATION,   IDC_DIRECTORY_LIST, IDC_DRIVE_LIST,
                                  IDC_EXTRACT,       IDC_TEST,           IDC_ABOUT,
                                  IDC_INFORMATION,   IDC_SHOW_MESSAGES,  IDC_OVERWRITE_ASK,
                                  IDC_OVERWRITE_ALWAYS, IDC_OVERWRITE_NEVER};
// Figures that only mean something during a run.
const int kRunFigures[] = {IDC_EXTRACTED_LABEL, IDC_WARNINGS_LABEL, IDC_EXTRACTED, IDC_WARNINGS};

}  // namespace

void SetRunControls(HWND dialog, bool idle) {
  for (int id : kRunLockedControls) Enable(dialog, id, idle);
  Enable(dialog, IDC_RECREATE_DIRECTORIES,
         idle && gStub.session && ArchiveHasDirectories(&gStub.session->archive));
  Enable(dialog, IDC_CREATE_GROUPS, idle && gStub.directives.programGroupText());
  Enable(dialog, IDC_REGISTER_EXTENSIONS, idle && gStub.directives.extensionText());
  Enable(dialog, IDC_RUN_AFTER, idle && gStub.runAfter.present());
  for (int id : kRunFigures) Enable(dialog, id, !idle);
}

void ShowIdleLine(HWND dialog, bool idle) {
  Show(dialog, IDC_PROGRESS_ACTION, !idle);
  Show(dialog, IDC_PROGRESS_ITEM, !idle);
  Show(dialog, IDC_PROGRESS_MARKER, !idle);
  Show(dialog, IDC_IDLE_LINE, idle);  // its text comes with the template
}

void ReadDialogOptions(HWND dialog) {
  uint16_t flags = gStub.directives.flags();
  flags &= static_cast<uint16_t>(~(kDirectiveOverwriteAlways | kDirectiveOverwriteNever));
  if (IsDlgButtonChecked(dialog, IDC_OVERWRITE_ALWAYS)) flags |= kDirectiveOverwriteAlways;
  if (IsDlgButtonChecked(dialog, IDC_OVERWRITE_NEVER)) flags |= kDirectiveOverwriteNever;
  auto setBit = [&flags, dialog](int id, uint16_t bit) {
    if (IsDlgButtonChecked(dialog, id)) {
      flags |= bit;
    } else {
      flags &= static_cast<uint16_t>(~bit);
    }
  };
  setBit(IDC_RECREATE_DIRECTORIES, kDirectiveRecreateDirectories);
  setBit(IDC_SHOW_MESSAGES, kDirectiveShowMessages);
  setBit(IDC_CREATE_GROUPS, kDirectiveCreateGroups);
  setBit(IDC_REGISTER_EXTENSIONS, kDirectiveRegisterExtensions);
  gStub.directives.setFlags(flags);
  gStub.runAfter.checked = IsDlgButtonChecked(dialog, IDC_RUN_AFTER) != 0;
}

namespace {

void AppendToText(HWND dialog, int id, const char* text) {
  char buffer[kStringSize + kPathSize];
  GetControlTextUtf8(dialog, id, buffer, kStringSize);
  size_t used = std::strlen(buffer);
  FormatText(buffer + used, sizeof buffer - used, "%s", text);
  SetControlTextUtf8(dialog, id, buffer);
}

void ApplyDirectiveOptions(HWND dialog) {
  if (const char* extensions = ExtensionDisplayList(gStub.directives)) {
    AppendToText(dialog, IDC_REGISTER_EXTENSIONS, extensions);
  }
  // The group text up to its first separator: the name block starts with it.
  if (const char* groups = gStub.directives.programGroupText()) {
    AppendToText(dialog, IDC_CREATE_GROUPS, groups);
  }
  if (gStub.runAfter.present()) AppendToText(dialog, IDC_RUN_AFTER, gStub.runAfter.command.c_str());

  uint16_t flags = gStub.directives.flags();
  uint16_t overwrite = flags & (kDirectiveOverwriteAlways | kDirectiveOverwriteNever);
  int radio = overwrite == kDirectiveOverwriteAlways  ? IDC_OVERWRITE_ALWAYS
              : overwrite == kDirectiveOverwriteNever ? IDC_OVERWRITE_NEVER
                                                      : IDC_OVERWRITE_ASK;
  CheckRadioButton(dialog, IDC_OVERWRITE_ASK, IDC_OVERWRITE_NEVER, radio);
  CheckDlgButton(dialog, IDC_RECREATE_DIRECTORIES, (flags & kDirectiveRecreateDirectories) ? 1 : 0);
  CheckDlgButton(dialog, IDC_RUN_AFTER, gStub.runAfter.present() && gStub.runAfter.checked ? 1 : 0);
  CheckDlgButton(dialog, IDC_CREATE_GROUPS, (flags & kDirectiveCreateGroups) ? 1 : 0);
  CheckDlgButton(dialog, IDC_REGISTER_EXTENSIONS, (flags & kDirectiveRegisterExtensions) ? 1 : 0);
  CheckDlgButton(dialog, IDC_SHOW_MESSAGES, (flags & kDirectiveShowMessages) ? 1 : 0);
}

// Free space on the current drive, and the current directory as the destination.
void UpdateDiskSpace(HWND dialog) {
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
  GetDiskFreeSpaceA(nullptr, &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters);
  char figure[kKilobytesTextSize];
  SetControlTextUtf8(dialog, IDC_AVAILABLE,
                  FormatKilobytes(FreeKilobytes(bytesPerSector * sectorsPerCluster, freeClusters),
                                  figure));
  char directory[kPathSize] = {};
  getCurrentDir(directory);
  SetControlTextUtf8(dialog, IDC_DESTINATION, directory);
}

// The caption of dialog template 1000 as written in the resources. The common dialog may have
// put a title of its own on the window before the hook sees it, so the template is read.
void TemplateCaption(char* out, int size) {
  out[0] = 0;
  HRSRC found = FindResourceA(gStub.instance, MAKEINTRESOURCEA(IDD_MAIN), MAKEINTRESOURCEA(5));  // RT_DIALOG
  HGLOBAL loaded = found ? LoadResource(gStub.instance, found) : nullptr;
  const auto* bytes = static_cast<const uint8_t*>(loaded ? LockResource(loaded) : nullptr);
  if (!bytes) return;
  DWORD length = SizeofResource(gStub.instance, found);
  static_assert(sizeof(DLGTEMPLATE) == 18, "the template header is packed to 2 bytes");
  // DLGTEMPLATE, then the menu and the window class (each a 0xFFFF ordinal or a string), then
  // the caption; all three are 16-bit characters.
  const WCHAR* end = reinterpret_cast<const WCHAR*>(bytes + length);
  const WCHAR* p = reinterpret_cast<const WCHAR*>(bytes + sizeof(DLGTEMPLATE));
  for (int field = 0; field < 2 && p < end; ++field) {
    if (*p == 0xFFFF) {
      p += 2;
    } else {
      while (p < end && *p) ++p;
      ++p;
    }
  }
  const WCHAR* caption = p;
  while (p < end && *p) ++p;
  if (p >= end) return;
  WideCharToMultiByte(CP_UTF8, 0, caption, -1, out, size, nullptr, nullptr);
}

// A yes/no question captioned like the dialog; text is a string resource with one %s.
bool AskYesNo(HWND dialog, int stringId, const char* argument) {
  ResourceText format(stringId);
  char text[kStringSize + kPathSize];
  FormatText(text, sizeof text, format.get(), argument);
  return MessageBoxUtf8(dialog, text, Caption(dialog).get(), MB_ICONQUESTION | MB_YESNO) == IDYES;
}

bool ConfirmExit(HWND dialog) { return AskYesNo(dialog, IDS_CONFIRM_EXIT, ""); }

bool AskCreateDirectory(HWND dialog, const char* path) {
  return AskYesNo(dialog, IDS_CREATE_DIR_ASK, path);
}

void ReportCreateDirectoryFailure(HWND dialog, const char* path) {
  ResourceText failed(IDS_CREATE_DIR_FAILED);
  char text[kStringSize + kPathSize];
  FormatText(text, sizeof text, "%s%s", failed.get(), path);
  MessageBoxUtf8(dialog, text, Caption(dialog).get(), MB_ICONWARNING);
}

// The destination field as a full path, written back so that the user sees what is used.
void ReadDestination(HWND dialog, char* buffer, int size) {
  char typed[kPathSize] = {};
  GetControlTextUtf8(dialog, IDC_DESTINATION, typed, size < kPathSize ? size : kPathSize);
  TrimDestination(typed);
  PathBuffer full;
  fullPathOf(full, typed);
  // A full path longer than buffer would be cut to some other folder: the typed text stays.
  FormatText(buffer, static_cast<size_t>(size), "%s",
             std::strlen(full) < static_cast<size_t>(size) ? full.get() : typed);
  SetControlTextUtf8(dialog, IDC_DESTINATION, buffer);
}

// The common dialog sizes the items of its owner-drawn directory and drive lists to its small
// bitmaps, which it does not scale: at 144 DPI and above the item's text would be cut. The
// items take at least the height of a line of the dialog's font: 8 dialog units are the
// font's height, one more leaves room around it.
void FitListItems(HWND dialog) {
  RECT line = {0, 0, 0, 9};
  MapDialogRect(dialog, &line);
  HWND list = GetDlgItem(dialog, IDC_DIRECTORY_LIST);
  if (list && SendMessageA(list, LB_GETITEMHEIGHT, 0, 0) < line.bottom) {
    SendMessageA(list, LB_SETITEMHEIGHT, 0, line.bottom);
  }
  HWND drives = GetDlgItem(dialog, IDC_DRIVE_LIST);
  if (drives && SendMessageA(drives, CB_GETITEMHEIGHT, 0, 0) < line.bottom) {
    SendMessageA(drives, CB_SETITEMHEIGHT, 0, line.bottom);
  }
}

void EnableInformation(HWND dialog) { Enable(dialog, IDC_INFORMATION, ArchiveCommentLength() != 0); }

// --- message handlers ---------------------------------------------------------------------
BOOL OnInitDialog(HWND dialog, const OPENFILENAMEA* request) {
  StubReporter().setProgressWindow(dialog);
  CenterWindow(dialog);

  char caption[kCaptionSize + kPathSize];
  // The publisher's title, when the builder wrote one, stands for the caption and the path.
  if (LoadStringUtf8(gStub.instance, IDS_TITLE, caption, kCaptionSize) == 0) {
    TemplateCaption(caption, kCaptionSize);
    if (gStub.session) {
      size_t used = std::strlen(caption);
      FormatText(caption + used, sizeof caption - used, "%s", gStub.session->archive.archivePath.get());
    }
  }
  SetWindowTextUtf8(dialog, caption);

  // The frame around the figures grows to the directory list's height, or far enough to hold
  // the warning count, whichever is taller.
  if (HWND list = GetDlgItem(dialog, IDC_DIRECTORY_LIST)) {
    HWND frame = GetDlgItem(dialog, IDC_FIGURES_FRAME);
    RECT listRect, frameRect, warningsRect;
    GetWindowRect(list, &listRect);
    GetWindowRect(frame, &frameRect);
    GetWindowRect(GetDlgItem(dialog, IDC_WARNINGS_LABEL), &warningsRect);
    int height = listRect.bottom - listRect.top;
    int needed = warningsRect.bottom - frameRect.top + 2;
    if (needed > height) height = needed;
    SetWindowPos(frame, nullptr, 0, 0, frameRect.right - frameRect.left, height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  FitListItems(dialog);
  SetRunControls(dialog, true);
  ShowIdleLine(dialog, true);
  EnableInformation(dialog);
  char figure[kKilobytesTextSize];
  SetControlTextUtf8(dialog, IDC_REQUIRED,
                  FormatKilobytes(RequiredKilobytes(gStub.session ? &gStub.session->archive : nullptr),
                                  figure));
  ApplyDirectiveOptions(dialog);
  if (request->lCustData) {
    UpdateDiskSpace(dialog);
  } else {
    // The common dialog takes its folder in the ANSI code page.
    const char* initial = request->lpstrInitialDir;
    std::unique_ptr<char[]> utf8(new char[3 * std::strlen(initial) + 1]);
    utf8[AnsiToUtf8Into(initial, std::strlen(initial), utf8.get())] = 0;
    SetControlTextUtf8(dialog, IDC_DESTINATION, utf8.get());
  }
  if (const char* destination = gStub.directives.defaultDestination()) {
    SetControlTextUtf8(dialog, IDC_DESTINATION, destination);
  }
  if (!gStub.deploy.switches.destination.empty()) {
    SetControlTextUtf8(dialog, IDC_DESTINATION, gStub.deploy.switches.destination.c_str());
  }
  if (gStub.deploy.autoRun) {
    // The destination is decided: the dialog shows the run and its Cancel, and starts it.
    SetControlTextUtf8(dialog, IDC_DESTINATION, gStub.chosenDestination);
    for (int id : {IDC_DESTINATION, IDC_DIRECTORY_LIST, IDC_DRIVE_LIST}) Enable(dialog, id, false);
    PostMessageA(dialog, WM_COMMAND, IDC_EXTRACT, 0);
  }
  return TRUE;
}

BOOL OnCancel(HWND dialog) {
  // While the user is asked, a run waits at its next report, as it would behind a modal box.
  const bool running = gStub.inRun;
  if (running) gStub.run.hold = true;
  // A run that may ask nothing takes its Cancel as said.
  const bool confirmed = gStub.deploy.switches.unattended() || ConfirmExit(dialog);
  if (running) gStub.run.hold = confirmed;
  if (!confirmed) return TRUE;
  gStub.deploy.outcome = DeployState::Outcome::kCancelled;
  if (!IsWindowEnabled(GetDlgItem(dialog, IDC_EXTRACT))) {
    // A run is under way: no post-extraction action may follow, and a pass still running is
    // ended where it waits.
    gStub.postActionsAllowed = false;
    if (running) {
      gStub.run.stop = true;
      StopRunForExit();
      StubReporter().setProgressWindow(nullptr);
      EndStub(Status::Exit(kExitCancelled));
    }
  }
  EndDialog(dialog, IDC_CANCEL);
  return TRUE;
}

// "E&xtrair": into the destination, created first when the user agrees.
BOOL OnExtract(HWND dialog) {
  // A modal dialog shows itself once its queue is first empty, which a run started at once
  // would put off to its end.
  if (gStub.deploy.autoRun) ShowWindow(dialog, SW_SHOWNORMAL);
  ReadDestination(dialog, gStub.chosenDestination, kPathSize);
  if (gStub.chosenDestination[1] == ':') {
    const char drive[3] = {gStub.chosenDestination[0], ':', 0};
    SetCurrentDirectoryA(drive);  // that drive becomes the current one
  }
  if (setCurrentDir(gStub.chosenDestination) == 0) {
    StartRun(dialog, false);
  } else if (gStub.deploy.autoRun || AskCreateDirectory(dialog, gStub.chosenDestination)) {
    if (CreateDestination(gStub.chosenDestination)) {
      StartRun(dialog, false);
    } else {
      ReportCreateDirectoryFailure(dialog, gStub.chosenDestination);
      if (gStub.deploy.autoRun) {
        gStub.deploy.outcome = DeployState::Outcome::kFailed;
        EndDialog(dialog, IDC_CANCEL);
      }
    }
  }
  return TRUE;
}

// "&Testar": the dialog and the archive stay for further runs.
BOOL OnTest(HWND dialog) {
  gStub.testing = true;
  StartRun(dialog, true);
  gStub.testing = false;
  SetRunControls(dialog, true);
  ShowIdleLine(dialog, true);
  EnableInformation(dialog);
  // The keyboard goes back to the default button, which the run had moved to "&Cancelar".
  SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, IDC_EXTRACT)), TRUE);
  return TRUE;
}

// "&Informações": the archive comment in the text viewer, which frees the copy. Line ends are
// made CR LF on the way, as an edit control breaks lines only there.
BOOL OnInformation(HWND dialog) {
  uint16_t length = ArchiveCommentLength();
  const char* comment = gStub.session->archive.endRecord()->comment.c_str();
  char* copy = new (std::nothrow) char[2u * length + 1];
  if (!copy) EndStub(Status::Fatal(kFatalNoMemory));
  size_t n = 0;
  for (uint16_t i = 0; i < length; ++i) {
    if (comment[i] == '\n' && (i == 0 || comment[i - 1] != '\r')) copy[n++] = '\r';
    copy[n++] = comment[i];
  }
  copy[n] = 0;
  ShowCommentViewer(dialog, copy);
  return TRUE;
}

// Button clicks (notification code 0). Returning FALSE lets the common dialog handle the
// command itself.
BOOL OnCommand(HWND dialog, int id) {
  // A disabled button does nothing: the Return key still sends IDOK while a run has every
  // button but "&Cancelar" disabled, and a second run must never start inside the first.
  HWND control = GetDlgItem(dialog, id);
  if (id != IDC_CANCEL && control && !IsWindowEnabled(control)) return TRUE;
  switch (id) {
    case IDC_EXTRACT:
      return OnExtract(dialog);
    case IDC_CANCEL:
      return OnCancel(dialog);
    case IDC_ABOUT:
      ShowAbout(dialog);
      return TRUE;
    case IDC_INFORMATION:
      return OnInformation(dialog);
    case IDC_TEST:
      return OnTest(dialog);
    default:
      return FALSE;
  }
}

// Drawn as the program icon while minimised.
BOOL OnPaint(HWND dialog) {
  if (!IsIconic(dialog)) return FALSE;
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(dialog, &paint);
  DrawIcon(dc, 0, 0, gStub.icon);
  EndPaint(dialog, &paint);
  return TRUE;
}

UINT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog(dialog, reinterpret_cast<const OPENFILENAMEA*>(lParam));
    case WM_PAINT:
      return OnPaint(dialog);
    case WM_ERASEBKGND:
      return IsIconic(dialog) ? TRUE : FALSE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<UINT_PTR>(gStub.icon);
    case WM_GETICON:
      return wParam ? reinterpret_cast<UINT_PTR>(gStub.icon) : 0;
    case WM_COMMAND:
      if (HIWORD(wParam) == 0) return OnCommand(dialog, LOWORD(wParam));
      return FALSE;
    default:
      if (message == gStub.directoryChangedMessage && gStub.directoryChangedMessage != 0) {
        UpdateDiskSpace(dialog);
      }
      return FALSE;
  }
}

}  // namespace

void ShowMainDialog(char* initialDirectory) {
  if (!gStub.directoryChangedMessage) {
    gStub.directoryChangedMessage = RegisterWindowMessageA(LBSELCHSTRINGA);
  }
  // The dialog is modal: the request lives as long as the dialog does.
  OPENFILENAMEA request;
  std::memset(&request, 0, sizeof request);
  // The size of the request as the classic common dialog knows it, on every architecture.
  request.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
  request.hInstance = gStub.instance;
  request.Flags =
      OFN_LONGNAMES | OFN_NOVALIDATE | OFN_ENABLETEMPLATE | OFN_ENABLEHOOK | OFN_HIDEREADONLY;
  request.lpTemplateName = MAKEINTRESOURCEA(IDD_MAIN);
  request.lpfnHook = MainDialogProc;
  request.lCustData = 1;
  // The common dialog of this request takes its folder in the ANSI code page.
  initialDirectory[Utf8ToAnsiInPlace(initialDirectory, std::strlen(initialDirectory))] = '\0';
  request.lpstrInitialDir = initialDirectory;
  GetOpenFileNameA(&request);
}
