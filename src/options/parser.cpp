// The option parser: argument vectors, keyword and sub-option matching, list files, names.
#include "options/parser.h"

#include <cstring>

#include "report/messages.h"

namespace {

// Keywords are ASCII; case folding stays out of the code page on purpose.
char Upper(char c) { return static_cast<char>(upperCaseChar(static_cast<unsigned char>(c))); }

bool IsLetterOrDigit(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// Option words and sub-options start with a letter, a digit, '-' or '+'.
bool CanStartWord(char c) { return IsLetterOrDigit(c) || c == '-' || c == '+'; }

// Every '\\' taken in becomes '/'.
Text ForwardSlashes(const char* text) {
  Text out(text);
  for (size_t i = 0; i < out.size(); ++i) {
    if (out[i] == '\\') out[i] = '/';
  }
  return out;
}

}  // namespace

bool IsSwitchCharacter(const RunOptions& options, char c) {
  return c == options.switchChar || c == options.secondSwitchChar || c == '/';
}

bool OpensOptionWord(const RunOptions& options, const char* s) {
  if (!IsSwitchCharacter(options, s[0])) return false;
  if (s[0] != '/' || s[0] == options.switchChar || s[0] == options.secondSwitchChar) return true;
  return std::memchr(s + 1, '/', std::strcspn(s + 1, "=")) == nullptr;
}

Status ParseArguments(char** vector, CommandLine* line) {
  OptionParse parse(line);
  return parse.arguments(vector);
}

Status OptionParse::arguments(char** vector) {
  for (char** next = vector; *next; ++next) {
    const char* s = *next;
    int result = 0;
    detail_ = "";
    if (OpensOptionWord(options(), s)) {
      result = optionWord(s + 1);
      if (result != 0) return Status::Fatal(result, detail_.empty() ? s + 1 : detail_.c_str());
    } else if (s[0] == options().listMarker) {
      result = listFile(s + 1, 0);
      if (result != 0) return Status::Fatal(result, detail_.c_str());
    } else {
      takeName(s, 0, true);
    }
  }
  if (line_->archiveName.empty() && !NeedsNoArchive(options().command)) {
    return Status::Fatal(kFatalNoArchiveName, "");
  }
  return Status();
}

// The first name is the archive; on the command line the next one that reads as a directory
// is the destination; every other name selects entries.
void OptionParse::takeName(const char* name, int excludeFlag, bool fromCommandLine) {
  if (excludeFlag) {
    line_->excludes.push_back(ForwardSlashes(name));
  } else if (line_->archiveName.empty()) {
    line_->archiveName = ForwardSlashes(name);
  } else if (!(fromCommandLine && line_->destination.empty() &&
               AcceptDestination(name, &line_->destination))) {
    line_->includes.push_back(ForwardSlashes(name));
  }
}

int OptionParse::optionWord(const char* word) {
  uint16_t code = 0;
  int index = 0;
  int match = MatchOptionKeyword(word, OptionTable, &code, &index);
  if (match == kMatchNone) return kFatalUnknownOption;
  if (match == kMatchAmbiguous) return kFatalAmbiguousOption;
  OptionHandler handler = OptionTable[index].handler;
  if (!handler) return 0;
  return handler(*this, word, code);
}

int OptionParse::subOption(const char* value, const SubOptionRow* table, int32_t* result) {
  switch (MatchSubOption(value, table, result)) {
    case kMatchUnique: return 0;
    case kMatchAmbiguous:
      detail_ = value;
      return kFatalAmbiguousSubOption;
    default: return kFatalBadSubOption;
  }
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
  if (!CanStartWord(text[0])) return kMatchNone;
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
    if (count > 1) return kMatchAmbiguous;
    *value = taken;
    return kMatchUnique;
  }
  return kMatchNone;
}

int OptionParse::listFile(const char* name, int excludeFlag) {
  // An INCLUDE=@ or EXCLUDE=@ line would reuse the buffers of the list being read.
  if (list_.active) {
    detail_ = name;
    return kFatalCannotOpenList;
  }
  FileHandle handle = createFile(name, kGenericRead, kShareRead, kOpenExisting, kAttrNormal);
  if (handle == kInvalidHandle) {
    detail_ = name;
    return kFatalCannotOpenList;
  }
  list_.handle = handle;
  list_.filled = list_.next = 0;
  list_.endOfFile = false;
  list_.active = true;

  int result = 0;
  char line[kListLineMax + 1];
  while (result == 0 && readListLine(line) > 0) {
    char* s = line;
    while (*s == ' ' || *s == '\t' || *s == '\r' || *s == '\n') ++s;
    if (OpensOptionWord(options(), s)) {
      detail_ = "";
      result = optionWord(s + 1);
      if (result != 0 && detail_.empty()) detail_ = s + 1;
    } else {
      takeName(s, excludeFlag, false);
    }
  }

  list_.active = false;
  list_.handle = kInvalidHandle;
  list_.filled = list_.next = 0;
  list_.endOfFile = true;
  closeFile(handle);
  return result;
}

int OptionParse::readListLine(char* line) {
  int count = 0;
  bool carriageReturn = false;  // held back: with a line feed after it, it is dropped
  auto store = [&](char c) {
    if (count < kListLineMax) line[count++] = c;
  };
  for (;;) {
    if (list_.next == list_.filled) {
      if (list_.endOfFile) break;
      uint32_t got = 0;
      if (readFile(list_.handle, list_.block, kListBlockSize, &got) != 0) got = 0;
      list_.filled = got;
      list_.next = 0;
      if (got < kListBlockSize) list_.endOfFile = true;
      if (got == 0) break;
    }
    char c = list_.block[list_.next++];
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

bool AcceptDestination(const char* text, Text* destination) {
  size_t length = std::strlen(text);
  if (length == 0) return false;
  char last = text[length - 1];
  bool looksLikeDirectory = last == '/' || last == '\\' || text[0] == '/' || text[0] == '\\' ||
                            std::strchr(text, ':') != nullptr;
  if (!looksLikeDirectory) {
    uint32_t attributes = 0;
    if (std::strpbrk(text, "*?") || getAttributes(text, &attributes) != 0 ||
        !(attributes & kAttrDirectory)) {
      return false;
    }
  }
  // The destination prefixes every output path: one that does not fit with its separator is
  // refused rather than cut, which would send the files somewhere else.
  if (length > kPathSize - 2) return false;
  *destination = ForwardSlashes(text);
  if (last != '/' && last != '\\' && last != ':') *destination += '/';
  return true;
}
