#include "app/switches.h"

#include "report/messages.h"

namespace {

bool Blank(char c) { return c == ' ' || c == '\t'; }

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// word begins with prefix, whatever the case.
bool StartsWith(const Text& word, const char* prefix) {
  size_t i = 0;
  for (; prefix[i]; ++i) {
    if (i >= word.size() || Upper(word[i]) != prefix[i]) return false;
  }
  return true;
}

bool Is(const Text& word, const char* name) {
  size_t length = 0;
  while (name[length]) ++length;
  return word.size() == length && StartsWith(word, name);
}

// One word from p as Windows splits arguments: 2n backslashes and a quote give n backslashes
// and open or close a quoted part, 2n+1 give n and a literal quote; other backslashes stay.
const char* NextWord(const char* p, Text* word) {
  *word = Text();
  bool quoted = false;
  while (*p && (quoted || !Blank(*p))) {
    if (*p == '\\') {
      size_t backslashes = 0;
      while (p[backslashes] == '\\') ++backslashes;
      if (p[backslashes] == '"') {
        for (size_t i = 0; i < backslashes / 2; ++i) *word += '\\';
        p += backslashes;
        if (backslashes % 2) {
          *word += '"';
          ++p;
        }
        continue;
      }
      for (size_t i = 0; i < backslashes; ++i) *word += '\\';
      p += backslashes;
      continue;
    }
    if (*p == '"') {
      quoted = !quoted;
      ++p;
      continue;
    }
    *word += *p++;
  }
  return p;
}

const char* SkipBlanks(const char* p) {
  while (Blank(*p)) ++p;
  return p;
}

// The rest of the line after an unquoted /D=, blanks at its end dropped, and the quotes around
// it when the folder alone was quoted (/D="C:\Program Files\App").
Text RestOfLine(const char* p) {
  const char* end = p;
  while (*end) ++end;
  while (end > p && Blank(end[-1])) --end;
  if (end - p >= 2 && *p == '"' && end[-1] == '"') ++p, --end;
  return Text(p, static_cast<size_t>(end - p));
}

}  // namespace

Switches ParseSwitches(const char* commandLine) {
  Switches out;
  Text word;
  // The program's own name: quoted, or up to the first blank. Backslashes there are a path's.
  const char* p = SkipBlanks(commandLine ? commandLine : "");
  if (*p == '"') {
    ++p;
    while (*p && *p != '"') ++p;
    if (*p) ++p;
  } else {
    while (*p && !Blank(*p)) ++p;
  }
  for (p = SkipBlanks(p); *p; p = SkipBlanks(p)) {
    out.any = true;
    const bool unquotedFolder = Upper(p[0]) == '/' && Upper(p[1]) == 'D' && p[2] == '=';
    if (unquotedFolder) {
      out.destination = RestOfLine(p + 3);
      if (out.destination.empty()) out.unknown = "/D=";
      return out;
    }
    p = NextWord(p, &word);
    if (Is(word, "/S")) {
      out.silent = true;
    } else if (Is(word, "/P")) {
      out.progress = true;
    } else if (Is(word, "/?")) {
      out.help = true;
    } else if (StartsWith(word, "/LOG=") && word.size() > 5) {
      out.log = Text(word.c_str() + 5, word.size() - 5);
    } else if (StartsWith(word, "/D=") && word.size() > 3) {
      // The whole switch in quotes: nothing may follow it.
      out.destination = Text(word.c_str() + 3, word.size() - 3);
      if (*SkipBlanks(p)) out.unknown = SkipBlanks(p);
      return out;
    } else {
      out.unknown = word.empty() ? Text("\"\"") : word;
      return out;
    }
  }
  return out;
}

int DeploymentExitCode(const Status& status, bool warned, const UnattendedCallbacks* asked) {
  // A question nobody could answer decides, whatever the run made of the answer given for the
  // user (a disk not asked for ends it like a user's abort).
  if (asked && asked->passwordWanted) return kDeployExitPassword;
  if (asked && asked->diskWanted) return kDeployExitFailed;
  switch (status.kind()) {
    case StatusKind::kOk:
      return warned ? kDeployExitFailed : kDeployExitSuccess;
    case StatusKind::kExit:
      return status.exitCode() == kExitCancelled ? kDeployExitCancelled : status.exitCode();
    case StatusKind::kFatal:
      if (status.number() == kFatalDiskFull) return kDeployExitDiskFull;
      if (status.number() == kFatalAborted) return kDeployExitCancelled;
      return kDeployExitFailed;
    case StatusKind::kArchiveError:
      return kDeployExitFailed;
  }
  return kDeployExitFailed;
}

int UnattendedCallbacks::AskLastDisk() {
  diskWanted = true;
  return kKeyAbort;
}

int UnattendedCallbacks::AskDisk(int) {
  diskWanted = true;
  return kKeyAbort;
}

char* UnattendedCallbacks::GetPassword(char* buffer, int size) {
  if (size > 0) buffer[0] = 0;
  return buffer;
}

int UnattendedCallbacks::AskPassword(const char*, char*, int) {
  passwordWanted = true;
  return kPasswordSkipAll;
}
