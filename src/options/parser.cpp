// The option parser: argument vectors, keyword and sub-option matching, list files, name blocks.
#include "options/parser.h"

#include <cstring>
#include <functional>
#include <new>

#include "app/app.h"
#include "extract/name_lists.h"
#include "fs/fs.h"
#include "options/run_options.h"
#include "report/report.h"
#include "zip/archive_state.h"

namespace {

// The list file being read. The block buffer, its position and the end-of-file flag are shared
// by every list file, which is why a list file cannot be read from within another one.
struct ListFile {
  FileHandle handle = kInvalidHandle;
  char block[kListBlockSize];
  uint32_t filled = 0;  // valid bytes in block
  uint32_t next = 0;    // next byte to take
  bool endOfFile = true;
  bool active = false;
};

ListFile gList;
char gListLine[kListLineMax + 1];

// Keywords are ASCII; case folding stays out of the code page on purpose.
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsLetterOrDigit(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// Option words and sub-options start with a letter, a digit, '-' or '+'.
bool CanStartWord(char c) { return IsLetterOrDigit(c) || c == '-' || c == '+'; }

bool InListLine(const char* p) {
  std::less<const char*> before;
  return p && !before(p, gListLine) && before(p, gListLine + sizeof gListLine);
}

char* CopyText(const char* text) {
  size_t length = std::strlen(text);
  char* copy = new (std::nothrow) char[length + 1];
  if (!copy) ReportFatal(104, nullptr);
  std::memcpy(copy, text, length + 1);
  return copy;
}

// PASSWORD= and PRINT= keep pointers into their option word. A word read from a list file lives
// in the line buffer, which the next line overwrites: such values get copies of their own.
void KeepListFileValues(RunOptions* options) {
  if (InListLine(options->passwordText)) {
    char* copy = CopyText(options->passwordText);
    delete[] options->passwordBuffer;
    options->passwordBuffer = copy;
    options->passwordText = copy;
  }
  if (InListLine(options->printDevice)) {
    char* copy = CopyText(options->printDevice);
    delete[] options->printDeviceBuffer;
    options->printDeviceBuffer = copy;
    options->printDevice = copy;
  }
}

void TakeName(char* name, int excludeFlag) {
  ArchiveState* archive = gArchiveState;
  if (!archive) return;
  if (excludeFlag) {
    AddExcludeName(&archive->names, name);
  } else if (archive->requestedName[0]) {
    AddIncludeName(&archive->names, name);
  } else {
    archive->setArchiveName(name);
  }
}

}  // namespace

bool IsSwitchCharacter(char c) {
  return c == gRunOptions.switchChar || c == gRunOptions.secondSwitchChar || c == '/';
}

bool OpensOptionWord(const char* s) {
  if (!IsSwitchCharacter(s[0])) return false;
  if (s[0] != '/' || s[0] == gRunOptions.switchChar || s[0] == gRunOptions.secondSwitchChar) {
    return true;
  }
  return std::memchr(s + 1, '/', std::strcspn(s + 1, "=")) == nullptr;
}

void ProcessArguments(char** vector) {
  for (char** next = vector; *next; ++next) {
    char* s = *next;
    if (OpensOptionWord(s)) {
      int result = ProcessOptionWord(s + 1);
      if (result != 0) ReportFatal(result, s + 1);
    } else if (s[0] == gRunOptions.listMarker) {
      ReadListFile(s + 1, 0);
    } else if (ArchiveState* archive = gArchiveState) {
      if (!archive->requestedName[0]) {
        archive->setArchiveName(s);
      } else if (!archive->setDestination(s, nullptr)) {
        AddIncludeName(&archive->names, s);
      }
    }
  }
  if (gArchiveState && !gArchiveState->requestedName[0] && !NeedsNoArchive(gRunOptions.command)) {
    ReportFatal(6, "");
  }
}

int ProcessOptionWord(const char* word) {
  uint16_t code = 0;
  int index = 0;
  int match = MatchOptionKeyword(word, OptionTable, &code, &index);
  if (match == kMatchNone) return 4;
  if (match == kMatchAmbiguous) return 2;
  OptionHandler handler = OptionTable[index].handler;
  if (!handler) return 0;
  return handler(&gRunOptions, word, code);
}

int MatchOptionKeyword(const char* word, const OptionRow* table, uint16_t* code, int* index) {
  if (!CanStartWord(word[0])) return kMatchNone;
  // No keyword comes near the work area's length, so a word that does not fit is unknown.
  size_t length = std::strlen(word);
  if (length >= kOptionWorkArea) return kMatchNone;
  char area[kOptionWorkArea];
  for (size_t i = 0; i <= length; ++i) area[i] = Upper(word[i]);

  size_t best = 0;
  int count = 0;
  for (int row = 0; table[row].keyword; ++row) {
    const char* keyword = table[row].keyword;
    size_t j = 0;
    while (keyword[j] && keyword[j] == area[j]) ++j;
    // The whole word is a prefix of the keyword, or the keyword is followed by its value.
    bool candidate = area[j] == 0 || area[j] == '=' || area[j] == ',';
    if (!candidate) continue;
    if (j > best) {
      count = 1;
      best = j;
    } else if (j == best && best > 0) {
      ++count;
    } else {
      continue;
    }
    *code = table[row].code;
    *index = row;
  }
  if (count == 0) return kMatchNone;
  return count == 1 ? kMatchUnique : kMatchAmbiguous;
}

int MatchSubOption(const char* text, const SubOptionRow* table, int32_t* value) {
  if (!CanStartWord(text[0])) return 1;
  int count = 0;
  size_t j = 0;  // characters matched so far; later rows must share them
  int32_t taken = 0;
  const char first = Upper(text[0]);
  for (int row = 0; table[row].keyword; ++row) {
    const char* keyword = table[row].keyword;
    if (keyword[0] != first) continue;
    // text has no NUL among its first j characters, so a shorter keyword differs here.
    size_t i = 0;
    while (i < j && keyword[i] == Upper(text[i])) ++i;
    if (i < j) continue;
    if (keyword[j] != Upper(text[j])) {
      ++count;
      continue;
    }
    while (keyword[j] && keyword[j] == Upper(text[j])) ++j;
    taken = table[row].value;
    count = 1;
  }
  char end = text[j];
  if ((end == 0 || end == '=' || end == ',') && count >= 1) {
    if (count > 1) ReportFatal(3, text);
    *value = taken;
    return 0;
  }
  return 1;
}

int ReadListFile(const char* name, int excludeFlag) {
  // An INCLUDE=@ or EXCLUDE=@ line would reuse the buffers of the list being read.
  if (gList.active) ReportFatal(18, name);
  FileHandle handle = createFile(name, kGenericRead, kShareRead, kOpenExisting, kAttrNormal);
  if (handle == kInvalidHandle) ReportFatal(18, name);
  gList.handle = handle;
  gList.filled = gList.next = 0;
  gList.endOfFile = false;
  gList.active = true;

  while (ReadListLine(gListLine) > 0) {
    char* s = gListLine;
    while (*s == ' ' || *s == '\t' || *s == '\r' || *s == '\n') ++s;
    if (OpensOptionWord(s)) {
      int result = ProcessOptionWord(s + 1);
      if (result != 0) ReportFatal(result, s + 1);
      KeepListFileValues(&gRunOptions);
    } else {
      TakeName(s, excludeFlag);
    }
  }

  gList.active = false;
  gList.handle = kInvalidHandle;
  gList.filled = gList.next = 0;
  gList.endOfFile = true;
  return closeFile(handle);
}

int ReadListLine(char* line) {
  int count = 0;
  bool carriageReturn = false;  // held back: with a line feed after it, it is dropped
  auto store = [&](char c) {
    if (count < kListLineMax) line[count++] = c;
  };
  for (;;) {
    if (gList.next == gList.filled) {
      if (gList.endOfFile) break;
      uint32_t got = 0;
      if (readFile(gList.handle, gList.block, kListBlockSize, &got) != 0) got = 0;
      gList.filled = got;
      gList.next = 0;
      if (got < kListBlockSize) gList.endOfFile = true;
      if (got == 0) break;
    }
    char c = gList.block[gList.next++];
    if (c == '\n') {
      carriageReturn = false;
      break;
    }
    if (carriageReturn) store('\r');
    carriageReturn = c == '\r';
    if (!carriageReturn) store(c);
  }
  if (carriageReturn) store('\r');
  line[count] = 0;
  return count;
}

char* AppendNameBlock(char* block, const char* text) {
  size_t textLength = std::strlen(text);
  size_t oldStrings = block ? static_cast<size_t>(NameBlockLength(block)) - 1 : 0;
  size_t size = oldStrings + textLength + 2;
  char* grown = new (std::nothrow) char[size];
  if (!grown) return block;
  if (block) std::memcpy(grown, block, oldStrings);
  std::memcpy(grown + oldStrings, text, textLength + 1);
  grown[size - 1] = 0;
  delete[] block;
  return grown;
}

int NameBlockLength(const char* block) {
  if (!block) return 0;
  size_t length = 0;
  while (block[length]) length += std::strlen(block + length) + 1;
  return static_cast<int>(length + 1);
}
