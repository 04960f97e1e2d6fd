#include "app/console/console_callbacks.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "app/console/terminal.h"
#include "extract/decrypt.h"
#include "fs/fs.h"
#include "options/dates.h"
#include "report/report.h"
#include "report/string_ids.h"
#include "zip/records.h"

namespace {

// Asked questions that cannot be put to anyone are answered for the user; say so once each.
void NoteUnasked(const char* what) {
  char line[300];
  std::snprintf(line, sizeof line, "(sem terminal: %s)\n", what);
  TerminalWrite(stderr, line);
}

void Text(int id, char* buffer, int size) { CurrentFrontEnd()->loadString(id, buffer, size); }

// The size and date-time part of the overwrite question.
void SizeAndTime(uint32_t size, uint32_t dosDateTime, char* sizeText, char* dateText,
                 char* timeText) {
  std::snprintf(sizeText, 32, "%u", size);
  InsertThousandsSeparators(sizeText);
  FormatDate(dosDateTime, dateText);
  FormatDosTime(static_cast<uint16_t>(dosDateTime & 0xFFFF), timeText, 16);
}

}  // namespace

void FormatDosTime(uint16_t dosTime, char* buffer, int size) {
  std::snprintf(buffer, static_cast<size_t>(size), "%02d:%02d:%02d", dosTime >> 11,
                (dosTime >> 5) & 0x3F, 2 * (dosTime & 0x1F));
}

void ComposeOverwriteQuestion(char* text, int size, const char* name, const CentralHeader* entry) {
  char existing[256], incoming[256];
  Text(IDS_OVERWRITE_EXISTING, existing, sizeof existing);
  Text(IDS_OVERWRITE_NEW, incoming, sizeof incoming);
  char sizeText[32], dateText[32], timeText[16];

  FindInfo info{};
  SearchHandle search = findFirst(name, &info);
  if (search != kNoSearch) {
    endSearch(search);
    SizeAndTime(info.size, info.lastWrite, sizeText, dateText, timeText);
    std::snprintf(text, static_cast<size_t>(size), existing, name, sizeText, dateText, timeText);
  } else {
    std::snprintf(text, static_cast<size_t>(size), "%s", name);
  }
  size_t used = std::strlen(text);
  SizeAndTime(entry->uncompressedSize(), entry->dosDateTime(), sizeText, dateText, timeText);
  std::snprintf(text + used, static_cast<size_t>(size) - used, incoming, sizeText, dateText,
                timeText);
}

int ConsoleCallbacks::AskOverwrite(const char* name, const CentralHeader* entry) {
  if (!TerminalCanAsk()) {
    char note[kPathSize + 40];
    std::snprintf(note, sizeof note, "não sobrescrevo %s", name);
    NoteUnasked(note);
    return 'N';
  }
  char question[2048];
  ComposeOverwriteQuestion(question, sizeof question, name, entry);
  TerminalWrite(stderr, question);
  for (;;) {
    TerminalWrite(stderr, "\n[S]im, s[E]mpre, [N]ão, n[U]nca? ");
    char answer[16];
    if (!TerminalReadLine(answer, sizeof answer, true)) return 'N';
    switch (std::toupper(static_cast<unsigned char>(answer[0]))) {
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
  Text(IDS_INSERT_LAST_DISK, text, sizeof text);
  return AskYesNo(text) ? kKeyGoOn : kKeyAbort;
}

int ConsoleCallbacks::AskDisk(int diskNumber) {
  char format[256], text[300];
  Text(IDS_INSERT_DISK, format, sizeof format);
  std::snprintf(text, sizeof text, format, diskNumber);
  return AskYesNo(text) ? kKeyGoOn : kKeyAbort;
}

char* ConsoleCallbacks::GetPassword(char* buffer, int size) {
  if (size <= 0) return buffer;
  if (buffer != storedPassword) std::strncpy(buffer, storedPassword, static_cast<size_t>(size));
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
  return std::toupper(static_cast<unsigned char>(answer[0])) == 'S';
}

int ConsoleCallbacks::AskPassword(const char* entryName, char* buffer, int size) {
  if (!TerminalCanAsk()) {
    char note[kPathSize + 40];
    std::snprintf(note, sizeof note, "ignorando %s", entryName);
    NoteUnasked(note);
    return kPasswordSkip;
  }
  char prompt[kPathSize + 80];
  std::snprintf(prompt, sizeof prompt,
                "Este arquivo está protegido por senha.\nNome do Arquivo: %s\n"
                "Senha (vazia: Ignorar, * : Ignorar Tudo): ",
                entryName);
  TerminalWrite(stderr, prompt);
  char typed[kPasswordSize];
  if (!TerminalReadLine(typed, sizeof typed, false) || typed[0] == 0) return kPasswordSkip;
  if (std::strcmp(typed, "*") == 0) return kPasswordSkipAll;
  std::snprintf(storedPassword, sizeof storedPassword, "%s", typed);
  GetPassword(buffer, size);
  return kPasswordEntered;
}
