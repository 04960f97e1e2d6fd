// vespa-console [option words] ARCHIVE [DESTINATION] [NAMES]: the engine behind a terminal.
// Exit codes: 0 normal end, the message number of a fatal error, 299 to 304 for archive errors,
// 1 for a run that ended with warnings.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/console/console_callbacks.h"
#include "app/console/console_front_end.h"
#include "app/console/terminal.h"
#include "app/session.h"
#include "options/parser.h"
#include "report/string_ids.h"
#include "zip/overlaps.h"

namespace {

void WriteDecoded(const uint8_t* bytes, uint32_t count) { std::fwrite(bytes, 1, count, stdout); }

// The closing line of a run: the texts the stub shows after a test or an extraction.
void PrintOutcome(ConsoleFrontEnd& console, int command) {
  unsigned warnings = console.warnings();
  int id = 0;
  if (command == kCommandTest) id = warnings ? IDS_TEST_WARNINGS : IDS_TEST_OK;
  if (command == kCommandExtract) id = warnings ? IDS_EXTRACT_WARNINGS : IDS_EXTRACT_DONE;
  if (!id) return;
  char format[256], line[300];
  console.loadString(id, format, sizeof format);
  std::snprintf(line, sizeof line, format, static_cast<int>(warnings));
  std::strcat(line, "\n");
  TerminalWrite(stdout, line);
}

void Usage() {
  TerminalWrite(stderr,
                "uso: vespa-console [-TEST|-EXTRACT[=FRESHEN|UPDATE]|-PRINT[=ARQ]|-CONSOLE] "
                "[-DIRECTORIES] [-OVERWRITE[=NEVER|PROMPT|ALL]] [-PASSWORD=SENHA] [outras opções] "
                "ARQUIVO [DESTINO/] [NOMES]\n");
}

// The front end's share of a failed run: the message, then the code the process ends with.
int Fail(ConsoleFrontEnd& console, const Reporter& reporter, const Status& status) {
  console.endLine();
  reporter.showStatus(status);
  return status.exitCode();
}

}  // namespace

int main(int argc, char** argv) {
  TerminalInit();
  static ConsoleFrontEnd console;
  if (argc < 2) Usage();

  ConsoleCallbacks callbacks;
  // The terminal plays the main dialog's part: progress notifications go to it.
  Session session(console, &callbacks);
  session.reporter.setProgressWindow(&console);

  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) words.push_back(TerminalArgument(argv[i]));
  std::vector<char*> vector;
  for (std::string& word : words) vector.push_back(&word[0]);
  vector.push_back(nullptr);

  CommandLine line;
  // Like the stub's dialog, a terminal user is asked for a password at the first encrypted
  // entry that the password given (if any) does not open.
  if (TerminalCanAsk()) line.options.Password = 1;
  setNameType(0);
  Status status = ParseArguments(vector.data(), &line);
  if (!status.ok()) return Fail(console, session.reporter, status);
  const RunOptions& options = line.options;
  console.setProgressToStandardError(options.command == kCommandConsole);

  if (!NeedsNoArchive(options.command)) {
    status = session.open(line.archiveName.c_str());
    // Archives come from anywhere here: one whose entries share their data is refused whole.
    if (status.ok()) status = CheckEntryOverlaps(session.archive);
    if (!status.ok()) return Fail(console, session.reporter, status);
  }

  RunRequest request;
  request.options = options;
  request.names.include = line.includes;
  request.names.exclude = line.excludes;
  request.destination = line.destination;
  request.consoleSink = WriteDecoded;
  status = RunCommand(session, request);
  if (!status.ok()) return Fail(console, session.reporter, status);
  console.endLine();
  PrintOutcome(console, options.command);
  return session.reporter.warned() ? 1 : 0;
}
