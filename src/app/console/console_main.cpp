// vespa-console [option words] ARCHIVE [DESTINATION] [NAMES]: the engine behind a terminal.
// Exit codes: 0 normal end, the message number of a fatal error, 299 to 304 for archive errors,
// 1 for a run that ended with warnings.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/console/console_callbacks.h"
#include "app/console/console_front_end.h"
#include "app/console/terminal.h"
#include "extract/context.h"
#include "options/parser.h"
#include "options/run_options.h"
#include "report/report.h"
#include "report/string_ids.h"
#include "zip/archive_state.h"

namespace {

ConsoleFrontEnd gConsole;

// Like the stub's dialog, a terminal user is asked for a password at the first encrypted entry:
// the password word carries a placeholder that matches no typed password, with room for 32 more
// characters.
char gPasswordWord[] = "-PASSWORD=\x01\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0";

void WriteDecoded(const uint8_t* bytes, uint32_t count) { std::fwrite(bytes, 1, count, stdout); }

bool GivesPassword(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if ((a[0] == '-' || a[0] == '/') && (a[1] == 'p' || a[1] == 'P')) {
      // Any abbreviation of PASSWORD (PA, PAS, ...) counts.
      const char* keyword = "PASSWORD";
      size_t j = 1;
      while (a[j] && a[j] != '=' && j - 1 < 8 &&
             (a[j] == keyword[j - 1] || a[j] == keyword[j - 1] + ('a' - 'A'))) {
        ++j;
      }
      if (j > 2 && (a[j] == 0 || a[j] == '=')) return true;
    }
  }
  return false;
}

// The closing line of a run: the texts the stub shows after a test or an extraction.
void PrintOutcome(int command) {
  int id = 0;
  if (command == kCommandTest) id = gWarningCounter ? IDS_TEST_WARNINGS : IDS_TEST_OK;
  if (command == kCommandExtract) id = gWarningCounter ? IDS_EXTRACT_WARNINGS : IDS_EXTRACT_DONE;
  if (!id) return;
  char format[256], line[300];
  CurrentFrontEnd()->loadString(id, format, sizeof format);
  std::snprintf(line, sizeof line, format, static_cast<int>(gWarningCounter));
  std::strcat(line, "\n");
  TerminalWrite(stdout, line);
}

void Usage() {
  TerminalWrite(stderr,
                "uso: vespa-console [-TEST|-EXTRACT[=FRESHEN|UPDATE]|-PRINT[=ARQ]|-CONSOLE] "
                "[-DIRECTORIES] [-OVERWRITE[=NEVER|PROMPT|ALL]] [-PASSWORD=SENHA] [outras opções] "
                "ARQUIVO [DESTINO/] [NOMES]\n");
}

}  // namespace

int main(int argc, char** argv) {
  TerminalInit();
  SetReportFrontEnd(&gConsole);
  if (argc < 2) Usage();

  gCallbacks = new ConsoleCallbacks();
  // The terminal plays the main dialog's part: progress notifications go to it.
  ProgressWindow = &gConsole;
  gConsoleSink = WriteDecoded;

  // The parser keeps pointers into the words (PASSWORD, PRINT): they live as long as the process.
  static std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) words.push_back(TerminalArgument(argv[i]));
  std::vector<char*> vector;
  if (TerminalCanAsk() && !GivesPassword(argc, argv)) vector.push_back(gPasswordWord);
  for (std::string& word : words) vector.push_back(&word[0]);
  vector.push_back(nullptr);

  setNameType(0);
  EnsureArchiveState();
  ProcessArguments(vector.data());
  gConsole.setProgressToStandardError(gRunOptions.command == kCommandConsole);

  if (!NeedsNoArchive(gRunOptions.command)) {
    if (!gArchiveState->openArchive()) ReportFatal(12, gArchiveState->requestedName);
    gArchiveState->readDirectory();
  }
  int command = gRunOptions.command;
  RunCommand();
  gConsole.endLine();
  PrintOutcome(command);
  return gWarningFlag ? 1 : 0;
}
