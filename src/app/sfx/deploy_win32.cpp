// Runs started with switches, and runs from a temporary folder: what an archive does when its
// builder wrote the deployment record. Without that record nothing here is reached and the
// command line is never read.
#include <windows.h>

#include <cstring>
#include <memory>
#include <new>

#include "app/destination.h"
#include "app/dialog_run.h"
#include "app/sfx/sfx_win32.h"
#include "extract/crc32.h"
#include "fs/format.h"
#include "fs/wide_win32.h"
#include "report/string_ids.h"
#include "shell/deploy_record.h"

namespace {

// The usage text is longer than the other strings.
constexpr int kUsageSize = 1024;
// A folder still in use when the program has ended (an antivirus scan, a process the program
// left running) is tried again this often, this far apart.
constexpr int kRemoveAttempts = 10;
constexpr DWORD kRemovePause = 300;

// The log: the /LOG= file and the console the program was started from, each line ending with
// CR LF as Windows' own tools write them.
class StubLog : public RunLog {
 public:
  HANDLE file = INVALID_HANDLE_VALUE;
  HANDLE console = INVALID_HANDLE_VALUE;

  void write(const char* text) override {
    while (*text) {
      const char* end = std::strchr(text, '\n');
      size_t length = end ? static_cast<size_t>(end - text) : std::strlen(text);
      put(text, length);
      if (!end) return;
      put("\r\n", 2);
      text = end + 1;
    }
  }

 private:
  void put(const char* bytes, size_t length) {
    if (length == 0) return;
    DWORD written = 0;
    if (file != INVALID_HANDLE_VALUE) WriteFile(file, bytes, static_cast<DWORD>(length), &written, nullptr);
    if (console == INVALID_HANDLE_VALUE) return;
    // A console shows UTF-16 whatever its code page; a redirected one takes the bytes.
    Text part(bytes, length);
    std::unique_ptr<wchar_t[]> wide = WideText(part.c_str());
    if (!wide || !WriteConsoleW(console, wide.get(), static_cast<DWORD>(lstrlenW(wide.get())), &written,
                                nullptr)) {
      WriteFile(console, bytes, static_cast<DWORD>(length), &written, nullptr);
    }
  }
};

void ShowUsage(const char* first, UINT icon) {
  char usage[kUsageSize];
  LoadStringUtf8(gStub.instance, IDS_SWITCHES_USAGE, usage, sizeof usage);
  char text[kUsageSize + kPathSize];
  FormatText(text, sizeof text, "%s%s%s", first, *first ? "\n\n" : "", usage);
  if (gStub.deploy.log) gStub.deploy.log->showMessage(nullptr, text, "");
  if (!gStub.deploy.switches.windowless()) MessageBoxUtf8(nullptr, text, Caption(nullptr).get(), icon);
}

void LogLine(int id, const char* text) {
  if (gStub.deploy.log) gStub.deploy.log->line(ResourceText(id).get(), text);
}

// One run of an archive at a time: a second one started while the first extracts would write
// the same files. The name is the archive's path, folded.
bool AnotherRunUnderWay(const char* modulePath) {
  char folded[kPathSize];
  FormatText(folded, sizeof folded, "%s", modulePath);
  upperCaseText(folded);
  char name[48];
  FormatText(name, sizeof name, "Local\\VESPA-%08X",
             Crc32Update(0, reinterpret_cast<const uint8_t*>(folded), static_cast<uint32_t>(std::strlen(folded))));
  // Held to the end of the process, which releases it.
  HANDLE guard = CreateMutexA(nullptr, FALSE, name);
  return guard && GetLastError() == ERROR_ALREADY_EXISTS;
}

// Extracts into the chosen destination on this thread, without a window; ends the program on
// a fatal or archive error.
void ExtractWithoutWindow() {
  Session& session = *gStub.session;
  // The reporter hands progress only to a run that has a window to show it: a silent run's
  // log stands in for one.
  session.reporter.setProgressWindow(&gStub.deploy);
  RunRequest request;
  request.options = DialogRunOptions(gStub.directives.flags(), false);
  Status status = RunCommand(session, request);
  if (!status.ok()) EndStub(status);
  if (gStub.deploy.log) gStub.deploy.log->closing(false);
}

// 16 unpredictable hexadecimal digits from the system's generator: CNG where the system has it,
// else the older call of the same generator.
bool RandomName(char* out) {
  uint8_t bytes[8] = {};
  bool made = false;
  if (HMODULE cng = LoadLibraryExA("bcrypt.dll", nullptr, 0x00000800 /* system folder only */)) {
    using GenRandom = LONG(WINAPI*)(void*, PUCHAR, ULONG, ULONG);
    FARPROC found = GetProcAddress(cng, "BCryptGenRandom");
    constexpr ULONG kSystemPreferred = 0x00000002;  // BCRYPT_USE_SYSTEM_PREFERRED_RNG
    made = found && reinterpret_cast<GenRandom>(reinterpret_cast<void*>(found))(
                        nullptr, bytes, sizeof bytes, kSystemPreferred) >= 0;
  }
  if (!made) {
    HMODULE advapi = GetModuleHandleA("advapi32.dll");
    using GenRandom = BOOLEAN(WINAPI*)(PVOID, ULONG);
    FARPROC found = advapi ? GetProcAddress(advapi, "SystemFunction036") : nullptr;
    made = found && reinterpret_cast<GenRandom>(reinterpret_cast<void*>(found))(bytes, sizeof bytes);
  }
  for (size_t i = 0; i < sizeof bytes; ++i) FormatText(out + 2 * i, 3, "%02x", bytes[i]);
  return made;
}

// A new folder under the user's temporary folder, made here and now: CreateDirectory fails on a
// name that exists, so a folder (or link) someone prepared is never taken.
bool CreateTemporaryFolder() {
  char temp[kPathSize + 2] = {};
  if (tempDirectory(temp, kPathSize) == 0) return false;
  for (int attempt = 0; attempt < 16; ++attempt) {
    char name[20];
    if (!RandomName(name)) return false;
    char folder[kPathSize];
    if (FormatText(folder, sizeof folder, "%svespa-%s", temp, name) >= kPathSize) return false;
    if (CreateDirectoryW(WideText(folder).get(), nullptr)) {
      std::memcpy(gStub.deploy.temporaryFolder, folder, sizeof folder);
      gStub.deploy.removeFolder = RemoveTemporaryFolder;
      return true;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

// Removes what is inside the folder path[0, length) (no separator at its end; path has room for
// a long name below it). A link or junction inside is removed itself, never followed: nothing
// outside the folder is touched. Returns whether everything went; with report, what stays is
// logged.
bool RemoveContents(wchar_t* path, size_t length, size_t capacity, bool report) {
  if (length + 3 > capacity) return false;
  std::memcpy(path + length, L"\\*", 3 * sizeof(wchar_t));
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(path, &found);
  path[length] = 0;
  if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  bool all = true;
  do {
    const wchar_t* name = found.cFileName;
    if (name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0))) continue;
    size_t nameLength = static_cast<size_t>(lstrlenW(name));
    if (length + 1 + nameLength + 1 > capacity) {
      all = false;
      continue;
    }
    path[length] = L'\\';
    std::memcpy(path + length + 1, name, (nameLength + 1) * sizeof(wchar_t));
    const DWORD attributes = found.dwFileAttributes;
    if (attributes & FILE_ATTRIBUTE_READONLY) {
      SetFileAttributesW(path, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    }
    bool removed;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        RemoveContents(path, length + 1 + nameLength, capacity, report);
      }
      removed = RemoveDirectoryW(path) != 0;
    } else {
      removed = DeleteFileW(path) != 0;
    }
    if (!removed) {
      all = false;
      // The wide path less its "\\?\" prefix, for the log.
      if (report) {
        char shown[3 * kPathSize];
        int bytes = WideCharToMultiByte(CP_UTF8, 0, path + 4, -1, shown, sizeof shown, nullptr, nullptr);
        if (bytes > 0) LogLine(IDS_NOT_REMOVED, shown);
      }
    }
    path[length] = 0;
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return all;
}

// The program's code as the log says it.
void LogProgramEnd(DWORD code) {
  char figure[16];
  FormatText(figure, sizeof figure, "%lu", static_cast<unsigned long>(code));
  LogLine(IDS_PROGRAM_ENDED, figure);
}

}  // namespace

// The destination of the switches, else the records' default (a relative one taken from the
// temporary directory, as the dialog takes it), else the temporary directory; created when
// missing and made the current directory, as the main dialog's E&xtrair does.
bool ChooseDestination() {
  char path[kPathSize] = {};
  const Text& given = gStub.deploy.switches.destination;
  if (!given.empty()) {
    FormatText(path, sizeof path, "%s", given.c_str());
  } else if (const char* directive = gStub.directives.defaultDestination()) {
    FormatText(path, sizeof path, "%s", directive);
    if (path[1] != ':') {
      char temp[kPathSize + 2] = {};
      tempDirectory(temp, sizeof temp);
      setCurrentDir(temp);
    }
  } else {
    tempDirectory(path, sizeof path);
  }
  TrimDestination(path);
  PathBuffer full;
  fullPathOf(full, path);
  FormatText(gStub.chosenDestination, kPathSize, "%s", std::strlen(full) < kPathSize ? full.get() : path);
  if (setCurrentDir(gStub.chosenDestination) == 0) return true;
  char created[kPathSize];
  std::memcpy(created, gStub.chosenDestination, kPathSize);
  if (CreateDestination(created) && setCurrentDir(gStub.chosenDestination) == 0) return true;
  char text[kStringSize + kPathSize];
  FormatText(text, sizeof text, "%s%s", ResourceText(IDS_CREATE_DIR_FAILED).get(), created);
  StubReporter().show(text);
  return false;
}

int TakeCommandLine() {
  DeployState& deploy = gStub.deploy;
  const wchar_t* line = GetCommandLineW();
  int bytes = WideCharToMultiByte(CP_UTF8, 0, line, -1, nullptr, 0, nullptr, nullptr);
  std::unique_ptr<char[]> utf8(new (std::nothrow) char[bytes > 0 ? bytes : 1]);
  if (!utf8) EndStub(Status::Fatal(kFatalNoMemory));
  utf8[0] = 0;
  if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, line, -1, utf8.get(), bytes, nullptr, nullptr);
  deploy.switches = ParseSwitches(utf8.get());
  const Switches& switches = deploy.switches;

  // A silent run started from a console (start /wait, a script) says there what it does.
  HANDLE console = INVALID_HANDLE_VALUE;
  if (switches.unattended() && AttachConsole(ATTACH_PARENT_PROCESS)) {
    console = CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, 0, nullptr);
  }
  if (console != INVALID_HANDLE_VALUE || !switches.log.empty()) {
    // Lives to the end of the process: every report until then may write to it.
    StubLog* log = new (std::nothrow) StubLog;
    if (!log) EndStub(Status::Fatal(kFatalNoMemory));
    log->console = console;
    deploy.log = log;
    if (!switches.log.empty()) {
      log->file = CreateFileW(WideText(switches.log.c_str()).get(), GENERIC_WRITE, FILE_SHARE_READ,
                              nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (log->file == INVALID_HANDLE_VALUE) {
        EndStub(Status::Fatal(kFatalCannotOpenForWriting, switches.log.c_str()));
      }
    }
  }
  if (!switches.ok() || switches.destination.size() >= kPathSize) {
    char first[kStringSize + kPathSize];
    FormatText(first, sizeof first, "%s %s", ResourceText(IDS_UNKNOWN_SWITCH).get(),
               switches.ok() ? "/D=" : switches.unknown.c_str());
    ShowUsage(first, MB_ICONWARNING);
    return kDeployExitUsage;
  }
  if (switches.help) {
    ShowUsage("", MB_ICONINFORMATION);
    return kDeployExitSuccess;
  }
  if (switches.any) {
    char modulePath[kPathSize] = {};
    moduleFileName(modulePath, kPathSize);
    if (AnotherRunUnderWay(modulePath)) return kDeployExitBusy;
  }
  return -1;
}

int RunSilently() {
  if (!ChooseDestination()) return kDeployExitFailed;
  ExtractWithoutWindow();
  return FinishUnattended();
}

int RunFromTemporaryFolder() {
  DeployState& deploy = gStub.deploy;
  if (!CreateTemporaryFolder()) {
    char temp[kPathSize + 2] = {};
    tempDirectory(temp, kPathSize);
    char text[kStringSize + kPathSize];
    FormatText(text, sizeof text, "%s%s", ResourceText(IDS_CREATE_DIR_FAILED).get(), temp);
    StubReporter().show(text);
    return kDeployExitFailed;
  }
  FormatText(gStub.chosenDestination, kPathSize, "%s\\", deploy.temporaryFolder);
  if (deploy.switches.windowless()) {
    setCurrentDir(deploy.temporaryFolder);
    ExtractWithoutWindow();
  } else {
    deploy.autoRun = true;
    char initial[kPathSize];
    std::memcpy(initial, deploy.temporaryFolder, kPathSize);
    ShowMainDialog(initial);
  }
  Session& session = *gStub.session;
  int code = deploy.outcome == DeployState::Outcome::kCancelled ? kDeployExitCancelled
             : deploy.outcome == DeployState::Outcome::kFailed  ? kDeployExitFailed
                                                                 : DeploymentExitCode(Status(), session.reporter.warned(), deploy.asked);
  if (deploy.asked && deploy.asked->passwordWanted) LogLine(IDS_NO_PASSWORD, "");
  // Only a whole extraction runs the program.
  if (code == kDeployExitSuccess) {
    char destination[kPathSize + 1];
    FormatText(destination, sizeof destination, "%s\\", deploy.temporaryFolder);
    DWORD exitCode = kDeployExitFailed;
    if (RunProgramAndWait(nullptr, gStub.runAfter.command.c_str(), destination, &exitCode)) {
      LogProgramEnd(exitCode);
    }
    code = static_cast<int>(exitCode);
  }
  RemoveTemporaryFolder();
  return code;
}

void RemoveTemporaryFolder() {
  char* folder = gStub.deploy.temporaryFolder;
  if (!folder[0]) return;
  // The current directory may be the folder itself: Windows removes no folder in use.
  char temp[kPathSize + 2] = {};
  if (tempDirectory(temp, kPathSize)) setCurrentDir(temp);
  char prefixed[kPathSize + 8];
  FormatText(prefixed, sizeof prefixed, "\\\\?\\%s", folder);
  std::unique_ptr<wchar_t[]> wide = WideText(prefixed);
  constexpr size_t kCapacity = 32768;
  std::unique_ptr<wchar_t[]> path(new (std::nothrow) wchar_t[kCapacity]);
  if (!wide || !path) return;
  size_t length = static_cast<size_t>(lstrlenW(wide.get()));
  if (length + 1 > kCapacity) return;
  for (int attempt = 1; attempt <= kRemoveAttempts; ++attempt) {
    std::memcpy(path.get(), wide.get(), (length + 1) * sizeof(wchar_t));
    const bool last = attempt == kRemoveAttempts;
    if (RemoveContents(path.get(), length, kCapacity, last) && RemoveDirectoryW(wide.get())) break;
    if (last) {
      // What stays is the user's temporary folder's to clean, as Windows does.
      if (GetFileAttributesW(wide.get()) != INVALID_FILE_ATTRIBUTES) LogLine(IDS_NOT_REMOVED, folder);
      break;
    }
    Sleep(kRemovePause);
  }
  folder[0] = 0;
  gStub.deploy.removeFolder = nullptr;
}
