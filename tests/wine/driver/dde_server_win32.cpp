// vespa-ddeserver.exe: a Program Manager of our own for the Wine tests, speaking plain DDE
// messages so that it sees every attempt a client makes. It answers the service and topic
// "PROGMAN" and acknowledges every execute, except that the Nth distinct command gets the
// answer the test asks for.
//
// Usage: vespa-ddeserver.exe LOG [ok|busy|silent|hangup N]
//   LOG     file that receives one line per event, flushed at once: "ready", "connect",
//           "execute COMMAND", "terminate"
//   busy    the Nth distinct command is answered busy, every time
//   silent  the Nth distinct command is never answered (the client times out)
//   hangup  the Nth distinct command ends the conversation instead of an answer
// The program ends when its window is closed (or it is killed).
#include <windows.h>
#include <dde.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

FILE* gLog = nullptr;
std::string gMode = "ok";
size_t gTarget = 0;  // 1-based, 0: none
std::vector<std::string> gSeen;

void Log(const std::string& line) {
  std::fprintf(gLog, "%s\n", line.c_str());
  std::fflush(gLog);
}

bool IsProgramManager(ATOM atom) {
  char name[64] = {};
  if (!atom) return true;  // any service or topic: we are asked too
  GlobalGetAtomNameA(atom, name, sizeof name);
  return _stricmp(name, "PROGMAN") == 0;
}

size_t CommandNumber(const std::string& command) {
  for (size_t i = 0; i < gSeen.size(); ++i) {
    if (gSeen[i] == command) return i + 1;
  }
  gSeen.push_back(command);
  return gSeen.size();
}

LRESULT CALLBACK ServerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DDE_INITIATE: {
      if (!IsProgramManager(LOWORD(lParam)) || !IsProgramManager(HIWORD(lParam))) return 0;
      ATOM service = GlobalAddAtomA("PROGMAN");
      ATOM topic = GlobalAddAtomA("PROGMAN");
      SendMessageA(reinterpret_cast<HWND>(wParam), WM_DDE_ACK, reinterpret_cast<WPARAM>(window),
                   MAKELPARAM(service, topic));
      Log("connect");
      return 0;
    }
    case WM_DDE_EXECUTE: {
      HWND client = reinterpret_cast<HWND>(wParam);
      HGLOBAL commands = reinterpret_cast<HGLOBAL>(lParam);
      std::string command;
      if (const char* text = static_cast<const char*>(GlobalLock(commands))) {
        command = text;
        GlobalUnlock(commands);
      }
      Log("execute " + command);
      size_t number = CommandNumber(command);
      if (number == gTarget && gMode == "silent") return 0;
      if (number == gTarget && gMode == "hangup") {
        PostMessageA(client, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(window), 0);
        Log("hangup");
        return 0;
      }
      // The status word of a DDEACK: fAck is bit 15, fBusy bit 14.
      WORD status = number == gTarget && gMode == "busy" ? 0x4000 : 0x8000;
      PostMessageA(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(window),
                   PackDDElParam(WM_DDE_ACK, status, reinterpret_cast<UINT_PTR>(commands)));
      return 0;
    }
    case WM_DDE_TERMINATE:
      PostMessageA(reinterpret_cast<HWND>(wParam), WM_DDE_TERMINATE,
                   reinterpret_cast<WPARAM>(window), 0);
      Log("terminate");
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: vespa-ddeserver.exe LOG [ok|busy|silent|hangup N]\n");
    return 2;
  }
  gLog = std::fopen(argv[1], "w");
  if (!gLog) return 1;
  if (argc >= 4) {
    gMode = argv[2];
    gTarget = static_cast<size_t>(std::strtoul(argv[3], nullptr, 10));
  }
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = ServerProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "VespaTestProgramManager";
  RegisterClassA(&windowClass);
  // A top-level window, never shown: DDE clients broadcast their initiate to these.
  HWND window = CreateWindowA(windowClass.lpszClassName, "Program Manager (test)", WS_OVERLAPPED,
                              0, 0, 10, 10, nullptr, nullptr, windowClass.hInstance, nullptr);
  if (!window) return 1;
  Log("ready");
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  std::fclose(gLog);
  return 0;
}
