// vespa-uidriver.exe: drives a Windows GUI program for the end-to-end tests, the way a person
// would: it starts the program, finds its windows, reads what they show, types into edits and
// presses buttons, then reports how the program ended.
//
// Usage: vespa-uidriver.exe [COMMAND ...]
//   Each argument is one command. Without arguments, commands are read from standard input, one
//   per line, and answered as they come, so a test can hold the driver open and react to what
//   the program shows.
//
// Answers: every command prints zero or more data lines, then exactly one status line, "ok" or
// "error REASON". Standard output is flushed after every status line. The driver's own exit
// code is 0 when every command succeeded, else 1.
//
// Texts: windows hold 8-bit text in the ANSI code page (1252). In answers, and in text
// arguments, a text is written on one line with backslash escapes: \\ \n \r \t, and \xHH for
// every other byte below 0x20 or above 0x7E. Texts in answers are the rest of the line.
//
// Ids are decimal or 0x-hexadecimal (a message box shows its text in static control 0xFFFF).
// Timeouts are in milliseconds and default to 10000.
//
// Commands:
//   cd DIR                  working directory for the next launch (escapes allowed)
//   launch CMDLINE          starts a program with the rest of the line as its command line
//                           (escapes allowed); answers "pid N"
//   windows                 the program's visible top-level windows, topmost first:
//                           "window HWND STATE CLASS TEXT" (STATE: e enabled, - disabled)
//   wait [TIMEOUT] [ID ...] [!ID ...]
//                           waits for an active window of the program (top-level, visible,
//                           enabled) that has every control id given and none of those marked
//                           with '!', and makes it the current window; answers
//                           "window HWND CLASS" and "caption TEXT". (Labels of dialogs often
//                           have id 0xFFFF like a message box's text: exclude a control of the
//                           dialog to wait for a message box in front of it.)
//   gone [TIMEOUT]          waits until the current window no longer exists
//   dump                    the current window: "caption TEXT", then one line per child control,
//                           "control ID CLASS FLAGS TEXT", FLAGS being v (visible), e (enabled),
//                           c (checked) or '-' in their places
//   text ID                 "text TEXT" of one control of the current window
//   set ID TEXT             sets the control's text
//   press ID|TEXT           presses a visible, enabled button of the current window, found by
//                           id or by its text (compared without the '&' mnemonic marks)
//   check ID 0|1            sets a check box or radio button (clearing the other radio buttons
//                           of its group) and tells the dialog, as a click would
//   selection ID            "selection START END" of an edit control of the current window
//   items ID                the items of a list box: "item INDEX TEXT" each
//   choose ID INDEX         selects an item of a list box and double-clicks it, telling the
//                           dialog as the list box itself would
//   waitany [TIMEOUT] [ID ...] [!ID ...]
//                           like wait, but the window may be disabled (a dialog behind the
//                           message box it opened)
//   alt LETTER              brings the current window to the front and types Alt+LETTER, as a
//                           keyboard user reaching a control by its mnemonic would
//   key VK                  the same with one virtual key (13 Return, 27 Escape)
//   close                   asks the current window to close (its close box)
//   rect                    "rect LEFT TOP RIGHT BOTTOM" of the current window, in screen pixels
//   exit [TIMEOUT]          waits for the program to end; answers "exit CODE", the full 32-bit
//                           exit code as an unsigned decimal number
//   kill                    ends the program at once (exit code 0xDEAD)
//   volume ROOT             what the system says of a drive (ROOT such as A:\\): "drive TYPE"
//                           (GetDriveTypeA: 2 removable, 3 fixed) and "label TEXT", or
//                           "nolabel ERROR" when its volume information cannot be read
//   newdisk LETTER UNIXDIR  tells Wine that the disk in removable drive LETTER was changed: the
//                           drive is defined again over the Unix directory UNIXDIR, so that its
//                           label is read anew (Wine reads a drive's label file only when the
//                           drive is defined)
//   runlevel PATH           the rights the manifest of the program file PATH asks for, as the
//                           system's own manifest reader understands it: "runlevel LEVEL UIACCESS",
//                           LEVEL one of unspecified, asInvoker, highestAvailable,
//                           requireAdministrator
//   sleep MS                waits
//   quit                    ends the driver (end of input does the same)
#include <windows.h>
#include <winioctl.h>

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr DWORD kDefaultTimeout = 10000;
constexpr DWORD kPollInterval = 50;
constexpr UINT kMessageTimeout = 5000;  // a hung program must not hang the driver

struct Session {
  PROCESS_INFORMATION process = {};
  bool launched = false;
  HWND current = nullptr;
  std::string workingDirectory;
};

Session gSession;
int gFailures = 0;

// --- text escapes ------------------------------------------------------------------------
std::string Escape(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c > 0x7E) {
          char hex[5];
          std::snprintf(hex, sizeof hex, "\\x%02X", c);
          out += hex;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c != '\\' || i + 1 == text.size()) {
      out += c;
      continue;
    }
    char next = text[++i];
    switch (next) {
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case 'x': {
        int high = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
        int low = i + 2 < text.size() ? HexDigit(text[i + 2]) : -1;
        if (high < 0 || low < 0) {
          out += "\\x";
        } else {
          out += static_cast<char>(high * 16 + low);
          i += 2;
        }
        break;
      }
      default: out += next;
    }
  }
  return out;
}

// --- answers -----------------------------------------------------------------------------
void Line(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Line(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(stdout, format, args);
  va_end(args);
  std::fputc('\n', stdout);
}

bool Ok() {
  Line("ok");
  std::fflush(stdout);
  return true;
}

bool Fail(const char* reason) {
  Line("error %s", reason);
  std::fflush(stdout);
  ++gFailures;
  return false;
}

// --- windows of the program --------------------------------------------------------------
std::string ClassOf(HWND window) {
  char name[128] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

// WM_GETTEXT is carried across processes by the system, unlike GetWindowTextA, which only
// reads captions of windows of other processes.
std::string TextOf(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeout,
                           &length)) {
    return std::string();
  }
  std::vector<char> buffer(length + 2, 0);
  DWORD_PTR copied = 0;
  SendMessageTimeoutA(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                      SMTO_ABORTIFHUNG, kMessageTimeout, &copied);
  return std::string(buffer.data());
}

struct Search {
  DWORD processId;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM data) {
  Search* search = reinterpret_cast<Search*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->processId && IsWindowVisible(window)) search->found.push_back(window);
  return TRUE;
}

// Visible top-level windows of the program, topmost first.
std::vector<HWND> ProgramWindows() {
  Search search{gSession.process.dwProcessId, {}};
  if (gSession.launched) EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool HasControls(HWND window, const std::vector<int>& ids, const std::vector<int>& excluded) {
  for (int id : ids) {
    if (!GetDlgItem(window, id)) return false;
  }
  for (int id : excluded) {
    if (GetDlgItem(window, id)) return false;
  }
  return true;
}

bool ParseNumber(const std::string& text, long long* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  long long v = std::strtoll(text.c_str(), &end, 0);
  if (*end) return false;
  *value = v;
  return true;
}

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && text[i] == ' ') ++i;
    size_t start = i;
    while (i < text.size() && text[i] != ' ') ++i;
    if (i > start) words.push_back(text.substr(start, i - start));
  }
  return words;
}

bool ProgramEnded() {
  return !gSession.launched || WaitForSingleObject(gSession.process.hProcess, 0) == WAIT_OBJECT_0;
}

HWND Control(const std::string& idText, std::string* error) {
  long long id = 0;
  if (!gSession.current || !IsWindow(gSession.current)) {
    *error = "no current window";
    return nullptr;
  }
  if (!ParseNumber(idText, &id)) {
    *error = "bad id";
    return nullptr;
  }
  HWND control = GetDlgItem(gSession.current, static_cast<int>(id));
  if (!control) *error = "no such control";
  return control;
}

std::string WithoutMnemonics(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c != '&') out += c;
  }
  return out;
}

// --- commands ----------------------------------------------------------------------------
bool Launch(const std::string& commandLine) {
  if (gSession.launched) {
    CloseHandle(gSession.process.hProcess);
    CloseHandle(gSession.process.hThread);
    gSession.launched = false;
  }
  gSession.current = nullptr;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back(0);
  const char* directory = gSession.workingDirectory.empty() ? nullptr : gSession.workingDirectory.c_str();
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, directory,
                      &startup, &gSession.process)) {
    char reason[64];
    std::snprintf(reason, sizeof reason, "CreateProcess failed (%lu)", GetLastError());
    return Fail(reason);
  }
  gSession.launched = true;
  Line("pid %lu", gSession.process.dwProcessId);
  return Ok();
}

bool ListWindows() {
  for (HWND window : ProgramWindows()) {
    Line("window %p %c %s %s", static_cast<void*>(window), IsWindowEnabled(window) ? 'e' : '-',
         ClassOf(window).c_str(), Escape(TextOf(window)).c_str());
  }
  return Ok();
}

bool Wait(const std::vector<std::string>& args, bool enabledOnly = true) {
  DWORD timeout = kDefaultTimeout;
  std::vector<int> ids, excluded;
  for (size_t i = 0; i < args.size(); ++i) {
    bool exclude = i > 0 && args[i][0] == '!';
    long long value = 0;
    if (!ParseNumber(exclude ? args[i].substr(1) : args[i], &value)) return Fail("bad number");
    if (i == 0) {
      timeout = static_cast<DWORD>(value);
    } else {
      (exclude ? excluded : ids).push_back(static_cast<int>(value));
    }
  }
  if (!gSession.launched) return Fail("nothing launched");
  DWORD start = GetTickCount();
  for (;;) {
    for (HWND window : ProgramWindows()) {
      if ((!enabledOnly || IsWindowEnabled(window)) && HasControls(window, ids, excluded)) {
        gSession.current = window;
        Line("window %p %s", static_cast<void*>(window), ClassOf(window).c_str());
        Line("caption %s", Escape(TextOf(window)).c_str());
        return Ok();
      }
    }
    if (ProgramEnded()) return Fail("program ended");
    if (GetTickCount() - start >= timeout) return Fail("timeout");
    Sleep(kPollInterval);
  }
}

bool Gone(const std::vector<std::string>& args) {
  long long timeout = kDefaultTimeout;
  if (!args.empty() && !ParseNumber(args[0], &timeout)) return Fail("bad number");
  DWORD start = GetTickCount();
  while (gSession.current && IsWindow(gSession.current) && IsWindowVisible(gSession.current)) {
    if (GetTickCount() - start >= static_cast<DWORD>(timeout)) return Fail("timeout");
    Sleep(kPollInterval);
  }
  gSession.current = nullptr;
  return Ok();
}

BOOL CALLBACK DumpChild(HWND child, LPARAM parent) {
  if (GetParent(child) != reinterpret_cast<HWND>(parent)) return TRUE;  // direct children only
  std::string cls = ClassOf(child);
  LONG style = GetWindowLongA(child, GWL_STYLE);
  bool checked = false;
  if (_stricmp(cls.c_str(), "Button") == 0) {
    DWORD_PTR state = 0;
    SendMessageTimeoutA(child, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeout, &state);
    checked = state == BST_CHECKED;
  }
  char flags[4] = {(style & WS_VISIBLE) ? 'v' : '-', IsWindowEnabled(child) ? 'e' : '-',
                   checked ? 'c' : '-', 0};
  Line("control %d %s %s %s", GetDlgCtrlID(child), cls.c_str(), flags,
       Escape(TextOf(child)).c_str());
  return TRUE;
}

bool Dump() {
  if (!gSession.current || !IsWindow(gSession.current)) return Fail("no current window");
  Line("caption %s", Escape(TextOf(gSession.current)).c_str());
  EnumChildWindows(gSession.current, DumpChild, reinterpret_cast<LPARAM>(gSession.current));
  return Ok();
}

bool Text(const std::vector<std::string>& args) {
  if (args.size() != 1) return Fail("usage: text ID");
  std::string error;
  HWND control = Control(args[0], &error);
  if (!control) return Fail(error.c_str());
  Line("text %s", Escape(TextOf(control)).c_str());
  return Ok();
}

bool Set(const std::string& idText, const std::string& text) {
  std::string error;
  HWND control = Control(idText, &error);
  if (!control) return Fail(error.c_str());
  std::string value = Unescape(text);
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(value.c_str()),
                           SMTO_ABORTIFHUNG, kMessageTimeout, &result)) {
    return Fail("program does not answer");
  }
  return Ok();
}

struct ButtonByText {
  HWND parent;
  std::string text;
  HWND found;
};

BOOL CALLBACK FindButtonByText(HWND child, LPARAM data) {
  ButtonByText* search = reinterpret_cast<ButtonByText*>(data);
  if (GetParent(child) != search->parent || _stricmp(ClassOf(child).c_str(), "Button") != 0) {
    return TRUE;
  }
  if (WithoutMnemonics(TextOf(child)) == search->text) {
    search->found = child;
    return FALSE;
  }
  return TRUE;
}

// The button tells its dialog it was clicked, exactly as a mouse click makes it do. Posted, so
// that a dialog that opens a modal window in answer does not hold the driver.
bool Press(const std::string& what) {
  if (!gSession.current || !IsWindow(gSession.current)) return Fail("no current window");
  long long id = 0;
  HWND button = nullptr;
  if (ParseNumber(what, &id)) {
    button = GetDlgItem(gSession.current, static_cast<int>(id));
  } else {
    ButtonByText search{gSession.current, WithoutMnemonics(Unescape(what)), nullptr};
    EnumChildWindows(gSession.current, FindButtonByText, reinterpret_cast<LPARAM>(&search));
    button = search.found;
  }
  if (!button) return Fail("no such button");
  if (!IsWindowVisible(button)) return Fail("button hidden");
  if (!IsWindowEnabled(button)) return Fail("button disabled");
  int buttonId = GetDlgCtrlID(button);
  PostMessageA(gSession.current, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
               reinterpret_cast<LPARAM>(button));
  return Ok();
}

bool IsRadio(HWND window) {
  LONG type = GetWindowLongA(window, GWL_STYLE) & BS_TYPEMASK;
  return type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}

bool Check(const std::vector<std::string>& args) {
  if (args.size() != 2 || (args[1] != "0" && args[1] != "1")) return Fail("usage: check ID 0|1");
  std::string error;
  HWND control = Control(args[0], &error);
  if (!control) return Fail(error.c_str());
  if (!IsWindowEnabled(control)) return Fail("button disabled");
  bool on = args[1] == "1";
  if (on && IsRadio(control)) {
    // The group runs from the previous control with WS_GROUP to the next one.
    HWND first = control;
    while (!(GetWindowLongA(first, GWL_STYLE) & WS_GROUP)) {
      HWND previous = GetWindow(first, GW_HWNDPREV);
      if (!previous) break;
      first = previous;
    }
    for (HWND w = first; w; w = GetWindow(w, GW_HWNDNEXT)) {
      if (w != first && (GetWindowLongA(w, GWL_STYLE) & WS_GROUP)) break;
      if (w != control && IsRadio(w)) {
        SendMessageTimeoutA(w, BM_SETCHECK, BST_UNCHECKED, 0, SMTO_ABORTIFHUNG, kMessageTimeout,
                            nullptr);
      }
    }
  }
  SendMessageTimeoutA(control, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0, SMTO_ABORTIFHUNG,
                      kMessageTimeout, nullptr);
  PostMessageA(gSession.current, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), BN_CLICKED),
               reinterpret_cast<LPARAM>(control));
  return Ok();
}

bool Selection(const std::vector<std::string>& args) {
  if (args.size() != 1) return Fail("usage: selection ID");
  std::string error;
  HWND control = Control(args[0], &error);
  if (!control) return Fail(error.c_str());
  DWORD_PTR packed = 0;
  if (!SendMessageTimeoutA(control, EM_GETSEL, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeout, &packed)) {
    return Fail("program does not answer");
  }
  Line("selection %u %u", static_cast<unsigned>(LOWORD(packed)), static_cast<unsigned>(HIWORD(packed)));
  return Ok();
}

bool Items(const std::vector<std::string>& args) {
  if (args.size() != 1) return Fail("usage: items ID");
  std::string error;
  HWND list = Control(args[0], &error);
  if (!list) return Fail(error.c_str());
  DWORD_PTR count = 0;
  SendMessageTimeoutA(list, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeout, &count);
  // Asked in UTF-16: a list box of a Unicode dialog hands its items across processes only so.
  for (DWORD_PTR i = 0; i < count && count != static_cast<DWORD_PTR>(LB_ERR); ++i) {
    DWORD_PTR length = 0;
    SendMessageTimeoutW(list, LB_GETTEXTLEN, i, 0, SMTO_ABORTIFHUNG, kMessageTimeout, &length);
    std::vector<wchar_t> wide(length + 2, 0);
    SendMessageTimeoutW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(wide.data()),
                        SMTO_ABORTIFHUNG, kMessageTimeout, nullptr);
    std::vector<char> text(4 * wide.size() + 1, 0);
    WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, text.data(), static_cast<int>(text.size()),
                        nullptr, nullptr);
    Line("item %u %s", static_cast<unsigned>(i), Escape(text.data()).c_str());
  }
  return Ok();
}

bool Choose(const std::vector<std::string>& args) {
  long long index = 0;
  if (args.size() != 2 || !ParseNumber(args[1], &index)) return Fail("usage: choose ID INDEX");
  std::string error;
  HWND list = Control(args[0], &error);
  if (!list) return Fail(error.c_str());
  DWORD_PTR result = 0;
  SendMessageTimeoutA(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0, SMTO_ABORTIFHUNG,
                      kMessageTimeout, &result);
  if (result == static_cast<DWORD_PTR>(LB_ERR)) return Fail("no such item");
  int id = GetDlgCtrlID(list);
  PostMessageA(gSession.current, WM_COMMAND, MAKEWPARAM(id, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
  PostMessageA(gSession.current, WM_COMMAND, MAKEWPARAM(id, LBN_DBLCLK), reinterpret_cast<LPARAM>(list));
  return Ok();
}

// Brings the current window to the front and types the keys: each pressed in order, then
// released in reverse order.
bool TypeKeys(const std::vector<WORD>& keys) {
  if (!gSession.current || !IsWindow(gSession.current)) return Fail("no current window");
  SetForegroundWindow(gSession.current);
  Sleep(200);  // the window must have the keyboard before the keys arrive
  std::vector<INPUT> inputs(2 * keys.size());
  for (size_t i = 0; i < keys.size(); ++i) {
    inputs[i].type = inputs[inputs.size() - 1 - i].type = INPUT_KEYBOARD;
    inputs[i].ki.wVk = inputs[inputs.size() - 1 - i].ki.wVk = keys[i];
    inputs[inputs.size() - 1 - i].ki.dwFlags = KEYEVENTF_KEYUP;
  }
  if (SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) != inputs.size()) {
    return Fail("SendInput failed");
  }
  return Ok();
}

bool Alt(const std::vector<std::string>& args) {
  if (args.size() != 1 || args[0].size() != 1 || !std::isalnum(static_cast<unsigned char>(args[0][0]))) {
    return Fail("usage: alt LETTER");
  }
  return TypeKeys({VK_MENU, static_cast<WORD>(std::toupper(static_cast<unsigned char>(args[0][0])))});
}

bool Key(const std::vector<std::string>& args) {
  long long code = 0;
  if (args.size() != 1 || !ParseNumber(args[0], &code) || code <= 0 || code > 0xFE) {
    return Fail("usage: key VK");
  }
  return TypeKeys({static_cast<WORD>(code)});
}

bool Close() {
  if (!gSession.current || !IsWindow(gSession.current)) return Fail("no current window");
  PostMessageA(gSession.current, WM_SYSCOMMAND, SC_CLOSE, 0);
  return Ok();
}

bool Rect() {
  if (!gSession.current || !IsWindow(gSession.current)) return Fail("no current window");
  RECT r;
  GetWindowRect(gSession.current, &r);
  Line("rect %ld %ld %ld %ld", r.left, r.top, r.right, r.bottom);
  return Ok();
}

bool Exit(const std::vector<std::string>& args) {
  long long timeout = kDefaultTimeout;
  if (!args.empty() && !ParseNumber(args[0], &timeout)) return Fail("bad number");
  if (!gSession.launched) return Fail("nothing launched");
  if (WaitForSingleObject(gSession.process.hProcess, static_cast<DWORD>(timeout)) != WAIT_OBJECT_0) {
    return Fail("timeout");
  }
  DWORD code = 0;
  GetExitCodeProcess(gSession.process.hProcess, &code);
  Line("exit %lu", code);
  return Ok();
}

bool Kill() {
  if (!gSession.launched) return Fail("nothing launched");
  TerminateProcess(gSession.process.hProcess, 0xDEAD);
  WaitForSingleObject(gSession.process.hProcess, kDefaultTimeout);
  return Ok();
}

bool Volume(const std::string& root) {
  if (root.empty()) return Fail("usage: volume ROOT");
  Line("drive %u", GetDriveTypeA(root.c_str()));
  char label[MAX_PATH + 1] = {};
  if (GetVolumeInformationA(root.c_str(), label, sizeof label, nullptr, nullptr, nullptr, nullptr, 0)) {
    Line("label %s", Escape(label).c_str());
  } else {
    Line("nolabel %lu", GetLastError());
  }
  return Ok();
}

// Wine's own extension of the mount manager, as Wine 8 lays it out: defines a drive letter over
// a Unix directory.
struct WineUnixDrive {
  ULONG size;
  ULONG type;
  ULONG fsType;
  DWORD serial;
  ULONGLONG unixDevice;
  WCHAR letter;
  USHORT mountPointOffset;
  USHORT deviceOffset;
  USHORT labelOffset;
};
constexpr DWORD kDefineUnixDrive =
    CTL_CODE('m', 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

bool NewDisk(const std::vector<std::string>& args) {
  if (args.size() != 2 || args[0].size() != 1) return Fail("usage: newdisk LETTER UNIXDIR");
  std::string directory = Unescape(args[1]);
  std::vector<char> buffer(sizeof(WineUnixDrive) + directory.size() + 1, 0);
  auto* drive = reinterpret_cast<WineUnixDrive*>(buffer.data());
  drive->size = static_cast<ULONG>(buffer.size());
  drive->type = DRIVE_REMOVABLE;
  drive->letter = static_cast<WCHAR>(std::tolower(static_cast<unsigned char>(args[0][0])));
  drive->mountPointOffset = sizeof(WineUnixDrive);
  std::memcpy(buffer.data() + sizeof(WineUnixDrive), directory.c_str(), directory.size() + 1);
  HANDLE manager = CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (manager == INVALID_HANDLE_VALUE) return Fail("no mount manager");
  DWORD returned = 0;
  BOOL ok = DeviceIoControl(manager, kDefineUnixDrive, buffer.data(), static_cast<DWORD>(buffer.size()),
                            nullptr, 0, &returned, nullptr);
  DWORD error = GetLastError();
  CloseHandle(manager);
  if (!ok) {
    char reason[64];
    std::snprintf(reason, sizeof reason, "the mount manager refused (%lu)", error);
    return Fail(reason);
  }
  return Ok();
}

bool RunLevel(const std::string& path) {
  // ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION and its query class, which older headers lack.
  struct RunLevelInformation {
    ULONG flags;
    int runLevel;  // 0 unspecified, 1 asInvoker, 2 highestAvailable, 3 requireAdministrator
    ULONG uiAccess;
  };
  constexpr ULONG kRunLevelInformationClass = 5;
  ACTCTXA context = {};
  context.cbSize = sizeof context;
  context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  context.lpSource = path.c_str();
  context.lpResourceName = MAKEINTRESOURCEA(1);  // the manifest a process starts with
  HANDLE handle = CreateActCtxA(&context);
  if (handle == INVALID_HANDLE_VALUE) return Fail("no manifest");
  RunLevelInformation info = {};
  SIZE_T size = 0;
  BOOL read = QueryActCtxW(0, handle, nullptr, kRunLevelInformationClass, &info, sizeof info, &size);
  ReleaseActCtx(handle);
  if (!read) return Fail("no run level");
  static const char* const kLevels[] = {"unspecified", "asInvoker", "highestAvailable",
                                        "requireAdministrator"};
  Line("runlevel %s %lu", info.runLevel >= 0 && info.runLevel <= 3 ? kLevels[info.runLevel] : "?",
       info.uiAccess);
  return Ok();
}

// "set ID TEXT": the text is the rest of the line after the id, blanks kept.
void SetFromLine(const std::vector<std::string>& args, const std::string& rest) {
  if (args.empty()) {
    Fail("usage: set ID TEXT");
    return;
  }
  size_t idEnd = rest.find(' ', rest.find_first_not_of(' '));
  Set(args[0], idEnd == std::string::npos ? std::string() : rest.substr(idEnd + 1));
}

void SleepFor(const std::vector<std::string>& args) {
  long long ms = 0;
  if (args.size() != 1 || !ParseNumber(args[0], &ms)) {
    Fail("usage: sleep MS");
    return;
  }
  Sleep(static_cast<DWORD>(ms));
  Ok();
}

// Returns false when the driver should stop.
bool Run(const std::string& line) {
  std::string command = line;
  std::string rest;
  size_t space = line.find(' ');
  if (space != std::string::npos) {
    command = line.substr(0, space);
    rest = line.substr(space + 1);
  }
  std::vector<std::string> args = Words(rest);
  if (command.empty()) return true;
  if (command == "quit") {
    Ok();
    return false;
  }
  if (command == "cd") {
    gSession.workingDirectory = Unescape(rest);
    Ok();
  } else if (command == "launch") {
    Launch(Unescape(rest));
  } else if (command == "windows") {
    ListWindows();
  } else if (command == "wait") {
    Wait(args);
  } else if (command == "gone") {
    Gone(args);
  } else if (command == "dump") {
    Dump();
  } else if (command == "text") {
    Text(args);
  } else if (command == "set") {
    SetFromLine(args, rest);
  } else if (command == "press") {
    if (rest.empty()) {
      Fail("usage: press ID|TEXT");
    } else {
      Press(rest);
    }
  } else if (command == "check") {
    Check(args);
  } else if (command == "selection") {
    Selection(args);
  } else if (command == "items") {
    Items(args);
  } else if (command == "choose") {
    Choose(args);
  } else if (command == "waitany") {
    Wait(args, false);
  } else if (command == "key") {
    Key(args);
  } else if (command == "alt") {
    Alt(args);
  } else if (command == "close") {
    Close();
  } else if (command == "rect") {
    Rect();
  } else if (command == "exit") {
    Exit(args);
  } else if (command == "kill") {
    Kill();
  } else if (command == "newdisk") {
    NewDisk(args);
  } else if (command == "volume") {
    Volume(Unescape(rest));
  } else if (command == "runlevel") {
    RunLevel(Unescape(rest));
  } else if (command == "sleep") {
    SleepFor(args);
  } else {
    Fail("unknown command");
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    for (int i = 1; i < argc; ++i) {
      if (!Run(argv[i])) break;
    }
  } else {
    char buffer[8192];
    while (std::fgets(buffer, sizeof buffer, stdin)) {
      std::string line(buffer);
      while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
      if (!Run(line)) break;
    }
  }
  if (gSession.launched) {
    CloseHandle(gSession.process.hProcess);
    CloseHandle(gSession.process.hThread);
  }
  return gFailures ? 1 : 0;
}
