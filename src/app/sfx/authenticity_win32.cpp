// The verified maker of an archive, shown at the end of a run: a message box with the code and
// the name, or the titled text viewer when the record carries additional text.
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "app/sfx/sfx_win32.h"
#include "fs/format.h"
#include "report/string_ids.h"

void ShowAuthenticity(HWND owner, const AuthenticityNotice& notice) {
  // With additional text the title holds the code alone; without, the name is its second line.
  bool withText = notice.textLength != 0;
  ResourceText format(withText ? IDS_AUTHENTIC_WITH_TEXT : IDS_AUTHENTIC);
  if (!*format.get()) return;
  size_t size = (withText ? 1 : std::strlen(notice.name) + 1) + std::strlen(format.get()) +
                std::strlen(notice.code);
  std::unique_ptr<char[]> title(new (std::nothrow) char[size]);
  if (!title) EndStub(Status::Fatal(kFatalNoMemory));
  FormatText(title.get(), size, format.get(), notice.code, notice.name);
  if (withText) {
    TitledText record = {title.get(), notice.name, notice.text};
    ShowTitledText(owner, &record);
  } else {
    StubFrontEnd().showMessage(owner, title.get(), Caption(owner).get());
  }
}
