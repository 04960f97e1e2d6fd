// How the engine and the archive reader ask the user: one object per session with thirteen
// operations in a fixed slot order. The stub answers with dialogs, vespa-console on the
// terminal, tests with scripted answers.
#pragma once

struct CentralHeader;

// Answers of AskOverwrite and AskDirectoryConflict (either case).
constexpr int kAnswerEscape = 27;
// Key codes of the disk prompts.
constexpr int kKeyGoOn = 13;
constexpr int kKeyAbort = 27;
// Answers of AskPassword.
constexpr int kPasswordEntered = 0;
constexpr int kPasswordSkip = 1;
constexpr int kPasswordSkipAll = 2;

class UserCallbacks {
 public:
  virtual ~UserCallbacks() = default;
  virtual int Spare0() { return 0; }
  // 'Y', 'N', 'A', 'V', 'R' or 27.
  virtual int AskOverwrite(const char* name, const CentralHeader* entry) = 0;
  virtual int Spare2(int) { return 0; }
  virtual int AskDirectoryConflict(const char* name) { return 0; }
  virtual int AskNewName(const char* prompt, char* buffer, int size) { return 0; }
  virtual int Spare5(int, int, int, int) { return 0; }
  virtual int AskLastDisk() = 0;
  virtual int AskDisk(int diskNumber) = 0;
  virtual char* GetPassword(char* buffer, int size) = 0;
  virtual int Spare9(int, int) { return 0; }
  virtual int AskYesNo(const char* question) = 0;
  virtual int Spare11(int) { return 0; }
  virtual int AskPassword(const char* entryName, char* buffer, int size) = 0;

  void* ownerWindow = nullptr;
  // Set by the engine before each AskPassword: the password typed at this entry's previous
  // question did not open it, so the question says so this time.
  bool lastPasswordWrong = false;
  // The date order of the run in progress (the run settings' LocaleDate), for the dates the
  // overwrite question shows.
  int dateOrder = 2;
};
