// The small dialogs beside the main one: the text viewer (dialog 104) for the archive comment
// and for titled texts, and the About box (dialog 100).

#include "app/sfx/sfx_win32.h"
#include "fs/format.h"
#include "report/report.h"
#include "resources/resource_ids.h"
#include "resources/version.h"

namespace {

// Every button of these dialogs closes them with its id.
bool EndOnButton(HWND dialog, WPARAM wParam) {
  if (HIWORD(wParam) != BN_CLICKED) return false;
  EndDialog(dialog, LOWORD(wParam));
  return true;
}

// The viewer's selection: nothing, with the caret at the start, or the whole text.
void SetViewerSelection(HWND dialog, bool whole) {
  SendDlgItemMessageA(dialog, IDC_VIEWER_TEXT, EM_SETSEL, 0, whole ? 0xFFFF : 0);
}

// The viewer's buttons close it; the edit getting the focus back gets its selection back.
BOOL ViewerCommand(HWND dialog, WPARAM wParam, bool wholeSelected) {
  if (EndOnButton(dialog, wParam)) return TRUE;
  if (LOWORD(wParam) == IDC_VIEWER_TEXT && HIWORD(wParam) == EN_SETFOCUS) {
    SetViewerSelection(dialog, wholeSelected);
  }
  return FALSE;
}

// The comment starts unselected with the caret at its start, also when the edit gets the focus
// back (the dialog manager selects a focused edit whole). A deselection alone would leave the
// caret at the end of the text.
INT_PTR CALLBACK CommentViewerProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      CenterWindow(dialog);
      SetWindowTextUtf8(dialog, Caption(ProgressWindow()).get());
      if (char* text = reinterpret_cast<char*>(lParam)) {
        SetControlTextUtf8(dialog, IDC_VIEWER_TEXT, text);
        delete[] text;
        SetViewerSelection(dialog, false);
      }
      return TRUE;
    }
    case WM_COMMAND:
      return ViewerCommand(dialog, wParam, false);
    default:
      return FALSE;
  }
}

// The titled text starts selected whole, ready to be copied, and is selected again whenever
// the edit gets the focus back.
INT_PTR CALLBACK TitledTextProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      CenterWindow(dialog);
      if (const auto* record = reinterpret_cast<const TitledText*>(lParam)) {
        HWND edit = GetDlgItem(dialog, IDC_VIEWER_TEXT);
        // The texts are inserted as typing would, which an edit limits to 30000 characters
        // unless told otherwise: a long maker's text is shown whole.
        SendMessageA(edit, EM_LIMITTEXT, 0, 0);
        SetWindowTextUtf8(dialog, record->caption);
        SetWindowTextUtf8(edit, record->second);
        SendMessageA(edit, EM_SETSEL, 0, 0);
        ReplaceSelectionUtf8(edit, "\r\n");
        SendMessageA(edit, EM_SETSEL, 0, 0);
        ReplaceSelectionUtf8(edit, record->first);
        SetViewerSelection(dialog, true);
      }
      return TRUE;
    }
    case WM_COMMAND:
      return ViewerCommand(dialog, wParam, true);
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  (void)lParam;
  switch (message) {
    case WM_INITDIALOG: {
      CenterWindow(dialog);
      SetControlTextUtf8(dialog, IDC_ABOUT_TITLE, "VESPA® para Windows " VESPA_VERSION_TEXT);
      char text[256];
      FormatText(text, sizeof text,
                 "Arquivo .ZIP auto-extraível para %d bits\nStored, Deflate, Deflate64 e LZMA,\n"
                 "senha tradicional ou AES e CRC-32",
                 static_cast<int>(sizeof(void*) * 8));
      SetControlTextUtf8(dialog, IDC_ABOUT_TEXT, text);
      return TRUE;
    }
    case WM_COMMAND:
      return EndOnButton(dialog, wParam) ? TRUE : FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

int ShowCommentViewer(HWND owner, char* text) {
  return static_cast<int>(DialogBoxParamW(gStub.instance, MAKEINTRESOURCEW(IDD_TEXT_VIEWER), owner,
                                          CommentViewerProc, reinterpret_cast<LPARAM>(text)));
}

int ShowTitledText(HWND owner, const TitledText* record) {
  return static_cast<int>(DialogBoxParamW(gStub.instance, MAKEINTRESOURCEW(IDD_TEXT_VIEWER), owner,
                                          TitledTextProc, reinterpret_cast<LPARAM>(record)));
}

int ShowAbout(HWND owner) {
  return static_cast<int>(
      DialogBoxParamW(gStub.instance, MAKEINTRESOURCEW(IDD_ABOUT), owner, AboutProc, 0));
}
