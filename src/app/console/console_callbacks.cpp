#include "app/console/console_callbacks.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/console/terminal.h"
#include "app/overwrite_question.h"
#include "fs/fs.h"
#include "report/report.h"
#include "report/string_ids.h"
#include "zip/records.h"

namespace {

// Asked questions that cannot be put to anyone are answered for the user; say so once each.
void NoteUnasked(const char* what) {
  TerminalWrite(stderr, "(sem terminal: ");
  TerminalWrite(stderr, what);
  TerminalWrite(stderr, ")\n");
}

void LoadText(int id, char* buffer, int size) { StandardErrorFrontEnd().loadString(id, buffer, size); }

}  // namespace

int ConsoleCallbacks::AskOverwrite(const char* name, const CentralHeader* entry) {
  if (!TerminalCanAsk()) {
    NoteUnasked((std::string("não sobrescrevo ") + name).c_str());
    return 'N';
  }
  std::vector<char> question(std::strlen(name) + 2048);
  ComposeOverwriteQuestion(StandardErrorFrontEnd(), dateOrder, question.data(), question.size(),
                           name, *entry);
  TerminalWrite(stderr, question.data());
  for (;;) {
    TerminalWrite(stderr, "\n[S]im, s[E]mpre, [N]ão, n[U]nca? ");
    char answer[16];
    if (!TerminalReadLine(answer, sizeof answer, true)) return 'N';
    switch (upperCaseChar(static_cast<unsigned char>(answer[0]))) {
      case 'S': return 'Y';
      case 'E': return 'A';
      case 'N': return 'N';
      case 'U': return 'V';
      default: break;
    }
  }
}

int ConsoleCallbacks::AskLastDisk() {
  char text[256];
  LoadText(IDS_INSERT_LAST_DISK, text, sizeof text);
  return AskYesNo(text) ? kKeyGoOn : kKeyAbort;
}

int ConsoleCallbacks::AskDisk(int diskNumber) {
  char format[256], text[300];
  LoadText(IDS_INSERT_DISK, format, sizeof format);
  std::snprintf(text, sizeof text, format, diskNumber);
  return AskYesNo(text) ? kKeyGoOn : kKeyAbort;
}

char* ConsoleCallbacks::GetPassword(char* buffer, int size) {
  if (size <= 0) return buffer;
  std::strncpy(buffer, password_, static_cast<size_t>(size));
  buffer[size - 1] = 0;
  return buffer;
}

int ConsoleCallbacks::AskYesNo(const char* question) {
  if (!TerminalCanAsk()) {
    NoteUnasked(question);
    return 0;
  }
  TerminalWrite(stderr, question);
  TerminalWrite(stderr, " [S/N] ");
  char answer[16];
  if (!TerminalReadLine(answer, sizeof answer, true)) return 0;
  return upperCaseChar(static_cast<unsigned char>(answer[0])) == 'S';
}

int ConsoleCallbacks::AskPassword(const char* entryName, char* buffer, int size) {
  if (!TerminalCanAsk()) {
    NoteUnasked((std::string("ignorando ") + entryName).c_str());
    return kPasswordSkip;
  }
  char wrong[256] = "";
  if (lastPasswordWrong) {
    StandardErrorFrontEnd().loadString(IDS_WRONG_PASSWORD, wrong, sizeof wrong);
    std::strcat(wrong, "\n");
  }
  const std::string prompt = std::string(wrong) +
                             "Este arquivo está protegido por senha.\nNome do Arquivo: " +
                             entryName + "\nSenha (vazia: Ignorar, * : Ignorar Tudo): ";
  TerminalWrite(stderr, prompt.c_str());
  char typed[kPasswordSize];
  if (!TerminalReadLine(typed, sizeof typed, false) || typed[0] == 0) return kPasswordSkip;
  if (std::strcmp(typed, "*") == 0) return kPasswordSkipAll;
  std::snprintf(password_, sizeof password_, "%s", typed);
  GetPassword(buffer, size);
  return kPasswordEntered;
}
