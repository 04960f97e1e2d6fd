// vespa-console [option words] ARCHIVE [DESTINATION] [NAMES]: the engine behind a terminal.
// Exit codes: 0 normal end, the message number of a fatal error, 299 to 304 for archive errors,
// 1 for a run that ended with warnings.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/console/console_callbacks.h"
#include "app/console/console_front_end.h"
#include "app/console/setup_listing.h"
#include "app/console/terminal.h"
#include "app/session.h"
#include "fs/fs.h"
#include "options/option_table.h"
#include "options/parser.h"
#include "report/messages.h"
#include "report/string_ids.h"
#include "zip/overlaps.h"

namespace {

void WriteDecoded(const uint8_t* bytes, uint32_t count) { std::fwrite(bytes, 1, count, stdout); }

// The closing line of a run: the texts the stub shows after a test or an extraction.
void PrintOutcome(ConsoleFrontEnd& console, Command command) {
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

constexpr const char kUsageLine[] =
    "uso: vespa-console [-TEST|-EXTRACT[=FRESHEN|UPDATE]|-PRINT[=ARQ]|-CONSOLE] "
    "[-DIRECTORIES] [-OVERWRITE[=NEVER|PROMPT|ALL]] [-PASSWORD=SENHA] [outras opções] "
    "ARQUIVO [DESTINO/] [NOMES]\n"
    "       vespa-console -SETUP ARQUIVO\n";

constexpr const char kHelp[] =
    "\n"
    "Testa, extrai ou lista na tela as entradas de um arquivo ZIP ou de um arquivo\n"
    "auto-extraível (setup.exe), com o mesmo motor do vespa-sfx.exe.\n"
    "\n"
    "  -TEST                       testa cada entrada\n"
    "  -EXTRACT[=FRESHEN|UPDATE]   extrai (o padrão); FRESHEN: só as mais novas que os\n"
    "                              arquivos existentes; UPDATE: essas e as que faltam\n"
    "  -CONSOLE, -PRINT[=ARQ]      escreve as entradas na saída padrão, ou em ARQ\n"
    "  -DIRECTORIES                recria os subdiretórios\n"
    "  -OVERWRITE[=NEVER|PROMPT|ALL]  quando o arquivo já existe\n"
    "  -PASSWORD[=SENHA]           a senha das entradas criptografadas\n"
    "  -MASK                       restaura também os atributos somente leitura,\n"
    "                              oculto e sistema\n"
    "  -EXCLUDE=NOME, @LISTA       exclui nomes; lê opções e nomes de um arquivo\n"
    "  -SETUP ARQUIVO              mostra o registro de diretivas de um auto-extraível\n"
    "  --help, --version           esta ajuda; a versão\n"
    "\n"
    "Código de saída: 0 fim normal, 1 com avisos, o número da mensagem de um erro\n"
    "fatal, 299 a 304 para um arquivo danificado (um shell vê 43 a 48).\n";

// The values an option word takes, for the line after a refused word: the keyword's value
// table, matched as the parser matches a shortened keyword.
std::string AcceptedValues(const char* word) {
  struct Values {
    const char* keyword;
    const SubOptionRow* table;
  };
  static const Values kValues[] = {
      {"EXTRACT", SelectionTable}, {"TEST", SelectionTable}, {"OVERWRITE", OverwriteTable},
      {"SORT", SortTable},         {"MASK", AttributeTable}, {"TIMES", TimesTable},
      {"VERSION", VersionTable},   {"LOCALE", LocaleTable}};
  std::string keyword = word;
  keyword = keyword.substr(0, keyword.find_first_of("=:"));
  for (char& c : keyword) c = static_cast<char>(upperCaseChar(static_cast<unsigned char>(c)));
  const OptionRow* found = nullptr;
  for (const OptionRow* row = OptionTable; row->keyword && !keyword.empty(); ++row) {
    if (std::strncmp(row->keyword, keyword.c_str(), keyword.size()) != 0) continue;
    if (found) return "";  // ambiguous: --help lists them all
    found = row;
  }
  if (!found) return "";
  for (const Values& values : kValues) {
    if (std::strcmp(values.keyword, found->keyword) != 0) continue;
    std::string list;
    for (const SubOptionRow* row = values.table; row->keyword; ++row) {
      if (row->keyword[0] == '+' || row->keyword[0] == '-') continue;  // the same, signed
      list += list.empty() ? "" : ", ";
      list += row->keyword;
    }
    return std::string("-") + found->keyword + " aceita: " + list + "\n";
  }
  return std::string("-") + found->keyword + " não aceita valor\n";
}

bool IsDirectory(const char* path) {
  uint32_t attributes = 0;
  return getAttributes(path, &attributes) == 0 && (attributes & kAttrDirectory);
}

// A destination typed on the terminal is the answer the dialog asks for before it creates one:
// it is made, with every missing folder above it. When it cannot be, the run stops before any
// entry, naming the first folder that could not be made and why (string 454, as the dialog
// says it), with the code of a file that cannot be opened for writing.
int MakeDestination(ConsoleFrontEnd& console, const Text& destination) {
  std::string path = destination.c_str();
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (path.empty() || IsDirectory(path.c_str())) return 0;
  // A network path's server and share are never made: folders start below them.
  size_t first = 1;
  if (path.compare(0, 2, "//") == 0) {
    const size_t server = path.find('/', 2);
    const size_t share = server == std::string::npos ? server : path.find('/', server + 1);
    first = share == std::string::npos ? path.size() + 1 : share + 1;
  }
  for (size_t i = first; i <= path.size(); ++i) {
    if (i < path.size() && (path[i] != '/' || path[i - 1] == '/' || path[i - 1] == ':')) continue;
    const std::string step = path.substr(0, i);
    if (IsDirectory(step.c_str())) continue;
    makeDirectory(step.c_str(), nullptr);
    if (IsDirectory(step.c_str())) continue;
    uint32_t attributes = 0;
    const char* why = getAttributes(step.c_str(), &attributes) == 0
                          ? " (já existe um arquivo com este nome)"
                          : " (o sistema recusou: sem permissão ou caminho inválido)";
    char text[256];
    console.loadString(IDS_CREATE_DIR_FAILED, text, sizeof text);
    console.endLine();
    TerminalWrite(stderr, (text + step + why + "\n").c_str());
    return kFatalCannotOpenForWriting;
  }
  return 0;
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
  // Lines to a file or a pipe leave in blocks of this size (see TerminalWrite). The C library
  // keeps the buffer until the process ends, after main has returned: it cannot be main's own.
  static char outputBuffer[64 * 1024];
  if (!TerminalShowsOutput()) std::setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);
  // Every argument in UTF-8, as every name and path inside the engine is.
  std::vector<std::string> arguments = TerminalArguments(argc, argv);
  std::vector<char*> argumentPointers;
  for (std::string& argument : arguments) argumentPointers.push_back(&argument[0]);
  argumentPointers.push_back(nullptr);
  argv = argumentPointers.data();
  // Nothing else here handles the break: the file layer may hold it back cheaply.
  takeConsoleBreak();
  // The conventions of Linux tools, before the option words of the archiver's own table.
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    TerminalWrite(stdout, kUsageLine);
    TerminalWrite(stdout, kHelp);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("vespa-console %s\n", VESPA_VERSION);
    return 0;
  }
  if (argc < 2) {
    TerminalWrite(stderr, kUsageLine);
    TerminalWrite(stderr, "Tente 'vespa-console --help' para mais informações.\n");
    return 2;
  }
  ConsoleFrontEnd console;

  ConsoleCallbacks callbacks;
  // The terminal plays the main dialog's part: progress notifications go to it.
  Session session(console, &callbacks);
  session.reporter.setProgressWindow(&console);

  // The directive record of a self-extracting archive: shown, never acted upon.
  if (argc == 3 && IsSetupWord(argv[1])) {
    Status status = session.open(argv[2]);
    if (status.ok()) status = ShowSetupDirectives(session);
    if (!status.ok()) return Fail(console, session.reporter, status);
    return 0;
  }

  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) words.push_back(argv[i]);
  std::vector<char*> vector;
  for (std::string& word : words) vector.push_back(&word[0]);
  vector.push_back(nullptr);

  CommandLine line;
  // Like the stub's dialog, a terminal user is asked for a password at the first encrypted
  // entry that the password given (if any) does not open.
  if (TerminalCanAsk()) line.options.Password = true;
  Status status = ParseArguments(vector.data(), &line);
  if (!status.ok()) {
    int code = Fail(console, session.reporter, status);
    // A word the table refused: what that option takes, and where the others are listed.
    if (status.kind() == StatusKind::kFatal && status.number() >= kFatalAmbiguousOption &&
        status.number() <= kFatalBadSubOption) {
      if (status.number() == kFatalBadSubOption) {
        TerminalWrite(stderr, AcceptedValues(status.detail()).c_str());
      }
      TerminalWrite(stderr, "Tente 'vespa-console --help' para mais informações.\n");
    }
    return code;
  }
  const RunOptions& options = line.options;
  console.setProgressToStandardError(options.command == kCommandConsole);

  if (!NeedsNoArchive(options.command)) {
    status = session.open(line.archiveName.c_str());
    // Archives come from anywhere here: one whose entries share their data is refused whole.
    if (status.ok()) status = CheckEntryOverlaps(session.archive);
    if (!status.ok()) return Fail(console, session.reporter, status);
  }

  if (options.command == kCommandExtract) {
    if (int code = MakeDestination(console, line.destination)) return code;
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
