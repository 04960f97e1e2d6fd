// What the stub's Win32 files share: the instance and icon, the front end, the callbacks and
// the dialogs.
#pragma once

#include <windows.h>

#include "report/user_callbacks.h"

// Every string resource is loaded into a buffer of this many chars.
constexpr int kStringSize = 256;

extern HINSTANCE gInstance;  // for resources and dialogs
extern HICON gProgramIcon;   // icon 3

// Message boxes, window texts and the string table of the program's own resources.
void InstallWin32FrontEnd();

// The questions of the engine and the archive reader, put through dialogs 105 and 106 and
// message boxes owned by the callbacks' owner window. Null when out of memory.
UserCallbacks* CreateWin32Callbacks();

// The main dialog: the open-file common dialog with template 1000 and the hook procedure.
// initialDirectory is where its directory list starts.
void ShowMainDialog(char* initialDirectory);

// A string resource in a buffer of its own (LoadResourceText), freed on every way out.
class ResourceText {
 public:
  explicit ResourceText(int id);
  ~ResourceText();
  ResourceText(const ResourceText&) = delete;
  ResourceText& operator=(const ResourceText&) = delete;
  const char* get() const { return text_; }

 private:
  char* text_;
};

// The small dialogs. Each returns the id of the button that closed it.
// Dialog 104 showing text, a heap copy (new[]) that the viewer frees; captioned like the main
// dialog.
int ShowCommentViewer(HWND owner, char* text);
// Dialog 104 with a caption of its own, showing the first text, a line break, the second text.
struct TitledText {
  const char* caption;
  const char* first;
  const char* second;
};
int ShowTitledText(HWND owner, const TitledText* record);
// Dialog 100, the About box.
int ShowAbout(HWND owner);
