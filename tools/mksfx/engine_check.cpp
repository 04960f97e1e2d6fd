#include "engine_check.h"

#include <cstring>

#include "app/session.h"
#include "report/report.h"
#include "report/user_callbacks.h"

namespace {

// Collects what the engine would have shown, in code page 1252.
class CollectingFrontEnd : public ReportFrontEnd {
 public:
  void showMessage(void*, const char* text, const char*) override { add(text); }
  void onWarning(int, const char* text) override { add(text); }
  std::string lines;

 private:
  void add(const char* text) {
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    lines += line + "\n";
  }
};

// The password that was used to encrypt; nothing else is ever asked.
class KnownPassword : public UserCallbacks {
 public:
  explicit KnownPassword(const std::string& password) : password_(password) {}
  int AskOverwrite(const char*, const CentralHeader*) override { return 'N'; }
  int AskLastDisk() override { return kKeyAbort; }
  int AskDisk(int) override { return kKeyAbort; }
  char* GetPassword(char* buffer, int size) override {
    copy(buffer, size);
    return buffer;
  }
  int AskYesNo(const char*) override { return 0; }
  int AskPassword(const char*, char* buffer, int size) override {
    copy(buffer, size);
    return kPasswordEntered;
  }

 private:
  void copy(char* buffer, int size) {
    if (size <= 0) return;
    size_t n = password_.size() < static_cast<size_t>(size - 1) ? password_.size() : size - 1;
    std::memcpy(buffer, password_.data(), n);
    buffer[n] = 0;
  }
  std::string password_;
};

}  // namespace

std::string CheckWithEngine(const std::string& path, const std::string& password,
                            EngineCheck* check) {
  CollectingFrontEnd front;
  KnownPassword callbacks(password);
  Session session(front, &callbacks);
  session.reporter.setProgressWindow(&front);
  Status status = session.open(path.c_str());
  if (status.ok()) {
    RunRequest request;
    request.options.command = kCommandTest;
    if (!password.empty()) {
      request.options.Password = true;
      request.options.passwordText = password.c_str();
    }
    status = RunCommand(session, request);
  }
  if (!status.ok()) session.reporter.showStatus(status);
  check->ok = status.ok() && !session.reporter.warned();
  check->problems = front.lines;
  return "";
}
