#include "run_fixture.h"

#include <cstring>

#include "app/app.h"
#include "extract/decrypt.h"
#include "options/parser.h"

int ScriptedCallbacks::AskOverwrite(const char* name, const CentralHeader*) {
  asked.push_back(std::string("overwrite:") + name);
  if (overwriteAnswers.empty()) return 'N';
  int answer = overwriteAnswers.front();
  overwriteAnswers.erase(overwriteAnswers.begin());
  return answer;
}

char* ScriptedCallbacks::GetPassword(char* buffer, int size) {
  if (buffer != storedPassword) std::strncpy(buffer, storedPassword, static_cast<size_t>(size));
  if (size > 0) buffer[size - 1] = 0;
  return buffer;
}

int ScriptedCallbacks::AskPassword(const char* entryName, char* buffer, int size) {
  asked.push_back(std::string("password:") + entryName);
  if (passwordAnswers.empty()) return kPasswordSkip;
  auto answer = passwordAnswers.front();
  passwordAnswers.erase(passwordAnswers.begin());
  if (answer.first == kPasswordEntered) {
    std::strncpy(storedPassword, answer.second.c_str(), sizeof storedPassword - 1);
    GetPassword(buffer, size);
  }
  return answer.first;
}

int RunOn(const std::string& archivePath, const std::string& bytes,
          const std::vector<std::string>& words) {
  ResetOptions(&gRunOptions);
  if (!LoadArchive(archivePath, bytes)) return -1;
  std::vector<std::string> copies = words;
  std::vector<char*> vector;
  for (std::string& w : copies) vector.push_back(&w[0]);
  vector.push_back(nullptr);
  ProcessArguments(vector.data());
  return RunCommand();
}
