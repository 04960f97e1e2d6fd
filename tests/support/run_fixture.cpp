#include "run_fixture.h"

#include <cstring>

int ScriptedCallbacks::AskOverwrite(const char* name, const CentralHeader*) {
  asked.push_back(std::string("overwrite:") + name);
  if (overwriteAnswers.empty()) return 'N';
  int answer = overwriteAnswers.front();
  overwriteAnswers.erase(overwriteAnswers.begin());
  return answer;
}

int ScriptedCallbacks::AskLastDisk() {
  asked.push_back("last disk");
  return onDisk ? onDisk(0) : kKeyAbort;
}

int ScriptedCallbacks::AskDisk(int disk) {
  asked.push_back("disk:" + std::to_string(disk));
  return onDisk ? onDisk(disk) : kKeyAbort;
}

char* ScriptedCallbacks::GetPassword(char* buffer, int size) {
  if (size <= 0) return buffer;
  std::strncpy(buffer, typedPassword.c_str(), static_cast<size_t>(size));
  buffer[size - 1] = 0;
  return buffer;
}

int ScriptedCallbacks::AskPassword(const char* entryName, char* buffer, int size) {
  asked.push_back(std::string("password:") + entryName);
  if (passwordAnswers.empty()) return kPasswordSkip;
  auto answer = passwordAnswers.front();
  passwordAnswers.erase(passwordAnswers.begin());
  if (answer.first == kPasswordEntered) {
    typedPassword = answer.second.substr(0, static_cast<size_t>(size > 0 ? size - 1 : 0));
    GetPassword(buffer, size);
  }
  return answer.first;
}

Status ParseRequest(const std::vector<std::string>& words, RunRequest* request) {
  std::vector<std::string> copies = words;
  std::vector<char*> vector;
  for (std::string& w : copies) vector.push_back(&w[0]);
  vector.push_back(nullptr);
  CommandLine line;
  line.archiveName = "archive";
  Status status = ParseArguments(vector.data(), &line);
  request->options = line.options;
  request->names.include = line.includes;
  request->names.exclude = line.excludes;
  request->destination = line.destination;
  return status;
}

int RunAgain(TestSession& test, const std::vector<std::string>& words, Status* status) {
  RunRequest request;
  Status result = ParseRequest(words, &request);
  int processed = 0;
  if (result.ok()) result = RunCommand(test.session, request, &processed);
  if (status) *status = result;
  return processed;
}

int RunOn(TestSession& test, const std::string& archivePath, const std::string& bytes,
          const std::vector<std::string>& words, Status* status) {
  Status loaded = LoadArchive(test.session, archivePath, bytes);
  if (!loaded.ok()) {
    if (status) *status = loaded;
    return -1;
  }
  return RunAgain(test, words, status);
}
