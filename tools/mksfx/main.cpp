// vespa-mksfx: makes a self-extracting program from folders and files, or from a ZIP archive.
//
//   vespa-mksfx -o OUT.exe [options] PATH...
//   vespa-mksfx --show SETUP.exe
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "command_line.h"
#include "compressor.h"
#include "fs/codepage.h"
#include "output_file.h"
#include "progress.h"
#include "sfx_builder.h"
#include "terminal.h"
#include "sfx_description.h"
#include "spanned_set.h"

#ifndef VESPA_STUB_I686
#define VESPA_STUB_I686 ""
#endif
#ifndef VESPA_STUB_X86_64
#define VESPA_STUB_X86_64 ""
#endif

namespace {

constexpr const char kProgram[] = "vespa-mksfx";
constexpr int kDefaultLevel = 9;
// The stub keeps a typed password in a buffer of 32 characters.
constexpr size_t kMaxPassword = 31;

std::string Set(std::string* field, const std::string& value) {
  *field = value;
  return "";
}

std::string Directive(BuildRequest& request, std::string* field, const std::string& value) {
  request.directives.present = true;
  return Set(field, value);
}

std::string DirectiveSwitch(BuildRequest& request, bool* field) {
  request.directives.present = true;
  *field = true;
  return "";
}

// A text of the publisher's, kept in UTF-8 and written in UTF-16.
std::string Publisher(const char* option, const std::string& value, std::optional<std::string>* field) {
  if (!IsWellFormedUtf8(value.data(), value.size())) {
    return std::string(option) + " takes UTF-8 text; this one is not";
  }
  *field = value;
  return "";
}

std::string VersionNumber(const char* option, const std::string& value,
                          std::optional<std::string>* field) {
  uint16_t parts[4];
  if (!ParseVersionNumber(value, parts)) {
    return std::string(option) + " takes four numbers A.B.C.D, each 0 to 65535, not " + value;
  }
  *field = value;
  return "";
}

// Every option of the builder: one row each, in the order --help shows them.
std::vector<BuilderOption> Options() {
  return {
      {"output", 'o', "OUT.exe", "the self-extracting program to write",
       [](const std::string& v, BuildRequest& r) { return Set(&r.output, v); }},
      {"stub", 0, "STUB.exe", "the stub to put in front (default: the installed or built one)",
       [](const std::string& v, BuildRequest& r) { return Set(&r.stub, v); }},
      {"arch", 0, "ARCH", "which default stub: i686 (the default, runs everywhere) or x86_64",
       [](const std::string& v, BuildRequest& r) {
         if (v != kArchI686 && v != kArchX86_64) return "--arch takes i686 or x86_64, not " + v;
         return Set(&r.arch, v);
       }},
      {"level", 0, "N", "compression level, 1 (fastest) to 12 (smallest); default 9",
       [](const std::string& v, BuildRequest& r) {
         char* end = nullptr;
         long level = std::strtol(v.c_str(), &end, 10);
         if (v.empty() || *end || level < kMinLevel || level > kMaxLevel) {
           return "--level takes a number from 1 to 12, not " + v;
         }
         r.pack.level = static_cast<int>(level);
         r.levelGiven = true;
         return std::string();
       }},
      {"store", 0, nullptr, "no compression: every file stored as it is",
       [](const std::string&, BuildRequest& r) {
         r.pack.store = true;
         return std::string();
       }},
      {"method", 0, "METHOD",
       "deflate (the default, read everywhere), lzma (smaller; older unzip programs cannot read it) "
       "or store",
       [](const std::string& v, BuildRequest& r) {
         if (v != "deflate" && v != "lzma" && v != "store") {
           return "--method takes deflate, lzma or store, not " + v;
         }
         if (v == "lzma" && !LzmaCompressorName()) {
           return std::string("--method lzma: this build of vespa-mksfx has no LZMA compressor "
                              "(liblzma); the Linux build writes LZMA, this one deflate or store");
         }
         r.pack.store = v == "store";
         r.pack.lzma = v == "lzma";
         r.methodGiven = true;
         return std::string();
       }},
      {"exclude", 'x', "PATTERN", "leave out what matches (repeatable; '*.tmp', 'build', 'docs/*.bak')",
       [](const std::string& v, BuildRequest& r) {
         r.excludes.push_back(v);
         return std::string();
       }},
      {"password", 0, nullptr, "encrypt the files, asking for the password on the terminal",
       [](const std::string&, BuildRequest& r) {
         r.askPassword = true;
         return std::string();
       }},
      {"password-file", 0, "FILE", "encrypt the files with the first line of FILE as the password",
       [](const std::string& v, BuildRequest& r) { return Set(&r.passwordFile, v); }},
      {"encryption", 0, "CIPHER", "with a password: aes256 (the default), aes192, aes128 or zipcrypto",
       [](const std::string& v, BuildRequest& r) {
         if (v == "aes256") {
           r.pack.cipher = Cipher::kAes256;
         } else if (v == "aes192") {
           r.pack.cipher = Cipher::kAes192;
         } else if (v == "aes128") {
           r.pack.cipher = Cipher::kAes128;
         } else if (v == "zipcrypto") {
           r.pack.cipher = Cipher::kTraditional;
         } else {
           return "--encryption takes aes256, aes192, aes128 or zipcrypto, not " + v;
         }
         r.encryptionGiven = true;
         return std::string();
       }},
      {"skip-links", 0, nullptr, "leave out symbolic links that lead outside, rather than refuse",
       [](const std::string&, BuildRequest& r) {
         r.skipLinks = true;
         return std::string();
       }},
      {"no-verify", 0, nullptr, "do not test the result with the engine",
       [](const std::string&, BuildRequest& r) {
         r.verify = false;
         return std::string();
       }},
      {"sign", 0, "NAME", "protect every entry and add an authenticity record naming NAME as the maker",
       [](const std::string& v, BuildRequest& r) {
         r.signName = v;
         return std::string();
       }},
      {"sign-number", 0, "N", "the number whose code the stub shows beside the maker (default 0)",
       [](const std::string& v, BuildRequest& r) {
         uint32_t number = 0;
         std::string problem;
         if (!ParseSignNumber(v, &number, &problem)) return problem;
         r.signNumber = v;
         return std::string();
       }},
      {"sign-text", 0, "TEXT", "additional text the stub shows with a verified archive",
       [](const std::string& v, BuildRequest& r) {
         r.signText = v;
         return std::string();
       }},
      {"destination", 0, "DIR", "directive record: the dialog's default destination directory",
       [](const std::string& v, BuildRequest& r) { return Directive(r, &r.directives.destination, v); }},
      {"subdirectories", 0, nullptr,
       "directive record: recreate subdirectories checked (the default for folders with subfolders)",
       [](const std::string&, BuildRequest& r) {
         r.directives.subdirectoriesGiven = true;
         return DirectiveSwitch(r, &r.directives.subdirectories);
       }},
      {"no-subdirectories", 0, nullptr, "recreate subdirectories unchecked: every file into one folder",
       [](const std::string&, BuildRequest& r) {
         r.directives.subdirectoriesGiven = true;
         r.directives.subdirectories = false;
         return std::string();
       }},
      {"messages", 0, nullptr, "directive record: show messages checked",
       [](const std::string&, BuildRequest& r) { return DirectiveSwitch(r, &r.directives.messages); }},
      {"overwrite", 0, "MODE", "directive record: overwrite ask, always or never",
       [](const std::string& v, BuildRequest& r) {
         if (!IsOverwriteChoice(v)) return "--overwrite takes ask, always or never, not " + v;
         return Directive(r, &r.directives.overwrite, v);
       }},
      {"groups", 0, "'SHOWN|CMD|...'",
       "directive record: Program Manager groups, the text shown then DDE commands (%0: the destination)",
       [](const std::string& v, BuildRequest& r) { return Directive(r, &r.directives.groups, v); }},
      {"extensions", 0, "'KEY|CMD|...'",
       "directive record: pairs of ^.TXT (plain) or $.ZIP (DDE) and a command line (%0, %1)",
       [](const std::string& v, BuildRequest& r) { return Directive(r, &r.directives.extensions, v); }},
      {"run", 0, "'COMMAND'",
       "after an extraction, offer to run COMMAND (%0: the destination), without a shell",
       [](const std::string& v, BuildRequest& r) {
         if (v.empty()) return std::string("--run takes a command");
         return Set(&r.runAfter.command, v);
       }},
      {"run-checked", 0, nullptr, "the dialog's box for --run starts checked",
       [](const std::string&, BuildRequest& r) {
         r.runAfter.checked = true;
         return std::string();
       }},
      {"switches", 0, nullptr,
       "the program reads its command line: /S silent, /S /P progress only, /D=DIR, /LOG=FILE, /?",
       [](const std::string&, BuildRequest& r) {
         r.deploy.switches = true;
         return std::string();
       }},
      {"temp", 0, nullptr,
       "extract into a new temporary folder, run --run's command there, wait, remove the folder "
       "and end with the command's exit code (implies --switches)",
       [](const std::string&, BuildRequest& r) {
         r.deploy.temporaryFolder = true;
         return std::string();
       }},
      {"elevation", 0, "LEVEL",
       "the rights the program asks for: asInvoker (the default), highestAvailable or "
       "requireAdministrator",
       [](const std::string& v, BuildRequest& r) {
         if (!IsElevationLevel(v)) {
           return "--elevation takes asInvoker, highestAvailable or requireAdministrator, not " + v;
         }
         return Set(&r.elevation, v);
       }},
      {"icon", 0, "FILE.ico", "the program's icon, every image of FILE.ico, in place of ours",
       [](const std::string& v, BuildRequest& r) { return Set(&r.publisher.icon, v); }},
      {"file-version", 0, "A.B.C.D", "version information: the file's version (four numbers)",
       [](const std::string& v, BuildRequest& r) { return VersionNumber("--file-version", v, &r.publisher.fileVersion); }},
      {"product-version", 0, "A.B.C.D", "version information: the product's version (four numbers)",
       [](const std::string& v, BuildRequest& r) { return VersionNumber("--product-version", v, &r.publisher.productVersion); }},
      {"product-name", 0, "TEXT", "version information: the product's name",
       [](const std::string& v, BuildRequest& r) { return Publisher("--product-name", v, &r.publisher.productName); }},
      {"company", 0, "TEXT", "version information: the company's name",
       [](const std::string& v, BuildRequest& r) { return Publisher("--company", v, &r.publisher.company); }},
      {"description", 0, "TEXT", "version information: what the program is",
       [](const std::string& v, BuildRequest& r) { return Publisher("--description", v, &r.publisher.description); }},
      {"copyright", 0, "TEXT", "version information: the copyright notice",
       [](const std::string& v, BuildRequest& r) { return Publisher("--copyright", v, &r.publisher.copyright); }},
      {"original-name", 0, "NAME", "version information: the original file name (default: the output's)",
       [](const std::string& v, BuildRequest& r) { return Publisher("--original-name", v, &r.publisher.originalName); }},
      {"title", 0, "TEXT", "the dialog's title and its message boxes' caption, in place of \"VESPA® - PATH\"",
       [](const std::string& v, BuildRequest& r) {
         if (v.empty()) return std::string("--title takes a text");
         size_t characters = 0;
         for (unsigned char c : v) characters += (c & 0xC0) != 0x80;
         if (characters > kMaxTitleCharacters) {
           return "--title takes at most " + std::to_string(kMaxTitleCharacters) +
                  " characters, the stub's caption; this one has " + std::to_string(characters);
         }
         return Publisher("--title", v, &r.publisher.title);
       }},
      {"show", 0, "SETUP.exe", "print the directive record, version information, title and entries of a self-extracting archive",
       [](const std::string& v, BuildRequest& r) { return Set(&r.shown, v); }},
      {"span", 0, "SIZE", "a set for removable disks: DIR/disk1/OUT.exe, ... each at most SIZE (1440k, 1.44m, bytes)",
       [](const std::string& v, BuildRequest& r) { return Set(&r.span, v); }},
      {"quiet", 'q', nullptr, "no progress, notes or summary; errors only",
       [](const std::string&, BuildRequest& r) {
         r.quiet = true;
         return std::string();
       }},
  };
}

std::string UsageText() {
  return std::string("usage: ") + kProgram + " -o OUT.exe [options] PATH...\n\n" +
         "Makes OUT.exe, a self-extracting archive for Windows: the stub, then a ZIP of the\n"
         "folders (their contents) and files named. A single ZIP archive named alone (NAME.zip,\n"
         "or an earlier self-extracting NAME.exe) is used as it is, its offsets made absolute.\n\n"
         "Options:\n" +
         OptionHelp(Options()) + "  -h, --help" + std::string(17, ' ') + "this help\n" +
         "  --version" + std::string(18, ' ') + "the version\n\n" +
         "--password enciphers with AES-256 (the WinZip AES format, AE-2), which 7-Zip,\n"
         "WinZip, WinRAR and bsdtar read as well as the stub. Info-ZIP unzip 6, Python's\n"
         "zipfile and the ZIP folders built into Windows Explorer cannot read AES entries:\n"
         "--encryption zipcrypto keeps the traditional ZIP encryption for them, which is weak:\n"
         "it keeps out the casual reader, not a determined one.\n";
}

// A usage error: one line naming the problem and a hint, exit code 2.
int Usage(const std::string& problem) {
  std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kProgram,
               problem.c_str(), kProgram);
  return 2;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
  return 1;
}

// The password as the stub's user will type it: code page 1252, at most 31 characters.
std::string TakePassword(const std::string& typed, std::string* password) {
  if (typed.empty()) return "the password is empty";
  std::string ansi = Utf8ToAnsi(typed);
  if (AnsiToUtf8(ansi) != typed) {
    return "the password has characters that cannot be typed in the stub's password box (only "
           "those of code page 1252 can)";
  }
  // The stub's box hands the password over in UTF-8, in the same 32 bytes.
  if (ansi.size() > kMaxPassword || typed.size() > kMaxPassword) {
    return "the password is longer than the " + std::to_string(kMaxPassword) +
           " bytes (in UTF-8) the stub's password box takes";
  }
  *password = ansi;
  return "";
}

std::string ReadPassword(const BuildRequest& request, std::string* password) {
  std::string typed;
  if (!request.passwordFile.empty()) {
    std::ifstream in(std::filesystem::u8path(request.passwordFile), std::ios::binary);
    if (!in) return request.passwordFile + ": cannot open";
    std::getline(in, typed);
    if (!typed.empty() && typed.back() == '\r') typed.pop_back();
  } else {
    std::string again;
    if (!ReadHiddenLine("Password: ", &typed)) {
      return "--password asks on a terminal and there is none; use --password-file FILE";
    }
    if (!ReadHiddenLine("Password again: ", &again)) return "no password typed";
    if (typed != again) return "the two passwords differ";
  }
  return TakePassword(typed, password);
}

std::string FindStub(const BuildRequest& request, const char* argv0, std::string* stub) {
  const char* compiled = request.arch == kArchX86_64 ? VESPA_STUB_X86_64 : VESPA_STUB_I686;
  auto candidates = DefaultStubCandidates(compiled, ProgramPath(argv0), request.arch);
  for (const std::string& candidate : candidates) {
    std::error_code ignored;
    if (std::filesystem::is_regular_file(std::filesystem::u8path(candidate), ignored)) {
      *stub = candidate;
      return "";
    }
  }
  std::string tried;
  for (const std::string& candidate : candidates) tried += "\n  " + candidate;
  return "no stub named and no " + request.arch +
         " stub found; install or build vespa-sfx.exe, or name a stub with --stub. Looked for:" +
         (tried.empty() ? std::string(" (nowhere to look)") : tried);
}

std::string Count(size_t n, const char* one, const char* many) {
  return Grouped(n) + " " + (n == 1 ? one : many);
}

double Percent(uint64_t part, uint64_t whole) {
  return whole ? 100.0 * static_cast<double>(part) / static_cast<double>(whole) : 0.0;
}

void PrintSummary(const BuildRequest& request, const BuildResult& result) {
  uint64_t stubSize = result.layout.stubSize;
  std::printf("%s: %s bytes\n", request.output.c_str(), Grouped(result.outputSize).c_str());
  if (request.archive.empty()) {
    const PackSummary& p = result.pack;
    std::printf("  %s: %s, %s\n", Count(p.files + p.folders, "entry", "entries").c_str(),
                Count(p.files, "file", "files").c_str(), Count(p.folders, "folder", "folders").c_str());
    std::printf("  %s bytes of files packed into %s (%.1f%%)", Grouped(p.bytesIn).c_str(),
                Grouped(p.bytesPacked).c_str(), Percent(p.bytesPacked, p.bytesIn));
    if (p.storedFiles) std::printf(", %zu stored as they are", p.storedFiles);
    std::printf("\n  %s", request.pack.store  ? "no compression"
                          : request.pack.lzma ? LzmaCompressorName()
                                              : CompressorName());
    if (!request.pack.store) std::printf(", level %d", request.pack.level);
    if (!request.pack.password.empty()) {
      const Cipher cipher = request.pack.cipher;
      std::printf("%s", cipher == Cipher::kTraditional ? ", traditional encryption (weak)"
                        : cipher == Cipher::kAes128    ? ", AES-128 encryption"
                        : cipher == Cipher::kAes192    ? ", AES-192 encryption"
                                                       : ", AES-256 encryption");
    }
    std::printf("\n");
  } else {
    std::printf("  the ZIP archive %s, as it is\n", request.archive.c_str());
  }
  if (result.subdirectoriesByDefault) {
    std::printf("  the dialog recreates the subfolders (--no-subdirectories: all into one folder)\n");
  }
  std::printf("  stub: %s (%s bytes)\n", request.stub.c_str(), Grouped(stubSize).c_str());
  if (result.checked) {
    std::printf("  tested by the engine: no warnings\n");
  } else if (request.verify) {
    std::printf("  not tested by the engine: %s\n", result.check.problems.c_str());
  }
}

int Show(const std::string& path) {
  std::string report, error;
  if (!DescribeSfx(path, &report, &error)) return Fail(error);
  std::fputs(report.c_str(), stdout);
  return 0;
}

int BuildSpanned(const BuildRequest& build, const std::string& size) {
  SpanRequest request{build.output, build.stub, build.archive, 0};
  std::string error;
  if (!ParseDiskSize(size, &request.diskSize, &error)) return Usage("--span: " + error);
  // Folders and files are made into a ZIP first, which is then cut into disks.
  OutputFile staged;
  if (request.archive.empty()) {
    if (!StageZip(build, &staged, &error)) return Fail(error + "; nothing written");
    request.archive = staged.temporaryPath();
  }
  std::vector<SpannedDisk> disks;
  if (!BuildSpannedSfx(request, &disks, &error)) return Fail(error + "; nothing written");
  for (const SpannedDisk& disk : disks) {
    std::printf("%s  %llu bytes  label \"%s\"\n", disk.path.c_str(),
                static_cast<unsigned long long>(disk.size), disk.label.c_str());
  }
  return 0;
}

// A single ZIP operand is used as it is; anything else is packed. A usage problem, or empty.
std::string ChooseInputs(const ParsedCommandLine& parsed, BuildRequest* request) {
  bool packing = request->levelGiven || request->pack.store || request->methodGiven ||
                 !request->excludes.empty() ||
                 request->askPassword || !request->passwordFile.empty() || request->skipLinks;
  if (parsed.operands.size() == 1 && IsZipInput(parsed.operands[0])) {
    if (packing) {
      return parsed.operands[0] +
             " is a ZIP archive, used as it is: --level, --method, --store, --exclude, --password "
             "and --skip-links apply to folders and files";
    }
    request->archive = parsed.operands[0];
  } else {
    request->inputs = parsed.operands;
  }
  return std::string();
}

// Says what of an existing archive was left out: nothing refers to it, but it was in the file;
// and what the walk over folders passed over.
void PrintNotes(const BuildRequest& request, const BuildResult& result) {
  for (const std::string& line : result.skipped) {
    std::fprintf(stderr, "%s: note: %s\n", kProgram, line.c_str());
  }
  auto note = [&](uint64_t count, const std::string& what) {
    if (count == 0) return;
    std::fprintf(stderr, "%s: note: %s: %llu bytes %s are left out\n", kProgram,
                 request.archive.c_str(), static_cast<unsigned long long>(count), what.c_str());
  };
  note(result.droppedPrefix,
       std::string("before its first entry (a stub or other leading data; its offsets counted "
                   "from ") +
           (result.base == 0 ? "the start of the file)" : "the start of the archive)"));
  note(result.droppedGap, "between its central directory and its end record");
  note(result.droppedTrailer, "after its end (such as an old signature)");
}

// One self-extracting program, with a progress bar on a terminal.
int BuildSingle(const BuildRequest& request) {
  ProgressBar* bar = nullptr;
  bool testingShown = false;
  BuildProgress progress;
  std::unique_ptr<ProgressBar> owned;
  if (!request.quiet && IsTerminal(stderr)) {
    progress.start = [&](uint64_t total) {
      owned.reset(new ProgressBar(stderr, total));
      bar = owned.get();
    };
    progress.advance = [&](uint64_t bytes) {
      if (bar) bar->advance(bytes);
    };
    progress.testing = [&]() {
      if (bar && bar->finish()) {
        std::fputs("testing the result with the engine...", stderr);
        std::fflush(stderr);
        testingShown = true;
      }
    };
  }
  BuildResult result;
  std::string error;
  bool built = BuildSfx(request, &result, &error, progress);
  if (bar) bar->finish();
  if (testingShown) std::fputs("\r\033[K", stderr);
  if (!built) return Fail(error + "; nothing written");
  if (request.quiet) return 0;
  PrintNotes(request, result);
  PrintSummary(request, result);
  return 0;
}

int Run(int argc, char** argv) {
  BuildRequest request;
  request.pack.level = kDefaultLevel;
  ParsedCommandLine parsed;
  std::string problem = ParseCommandLine(Utf8Arguments(argc, argv), Options(), &request, &parsed);
  if (parsed.help) {
    std::fputs(UsageText().c_str(), stdout);
    return 0;
  }
  if (parsed.version) {
    std::printf("%s %s (%s)\n", kProgram, VESPA_VERSION, CompressorName());
    return 0;
  }
  if (!problem.empty()) return Usage(problem);
  if (!request.shown.empty()) return Show(request.shown);
  if (request.output.empty()) return Usage("no output named (-o OUT.exe)");
  if (parsed.operands.empty()) return Usage("no input named (folders, files or one ZIP archive)");
  if (!request.passwordFile.empty() && request.askPassword) {
    return Usage("--password and --password-file both given; take one");
  }
  if (request.encryptionGiven && !request.askPassword && request.passwordFile.empty()) {
    return Usage("--encryption needs --password or --password-file");
  }
  problem = ChooseInputs(parsed, &request);
  if (!problem.empty()) return Usage(problem);
  if (request.askPassword || !request.passwordFile.empty()) {
    problem = ReadPassword(request, &request.pack.password);
    if (!problem.empty()) return Fail(problem + "; nothing written");
  }
  if (request.runAfter.checked && request.runAfter.command.empty()) {
    return Usage("--run-checked needs --run COMMAND");
  }
  if (request.deploy.temporaryFolder && request.runAfter.command.empty()) {
    return Usage("--temp needs --run COMMAND: the program to run from the temporary folder");
  }
  if (!request.signName && (request.signNumber || request.signText)) {
    return Usage("--sign-number and --sign-text need --sign NAME");
  }
  // A signed archive's record covers the CRCs: AES entries keep theirs (AE-1).
  if (request.signName) request.pack.aesKeepsCrc = true;
  if (request.signName &&
      !SignatureFromArguments(*request.signName, request.signNumber, request.signText,
                              &request.signature.emplace(), &problem)) {
    return Fail(problem + "; nothing written");
  }
  if (request.stub.empty()) {
    problem = FindStub(request, argv[0], &request.stub);
    if (!problem.empty()) return Fail(problem);
  }
  if (!request.span.empty()) {
    if (request.signature || request.directives.present || !request.runAfter.command.empty() ||
        request.elevation != kElevationLevels[0] || request.publisher.any() ||
        request.deploy.present()) {
      return Usage("--span makes a set of plain disks: --sign, --run, --elevation, --switches, "
                   "--temp, the directive options, --icon, --title and the version information "
                   "apply to a single program");
    }
    return BuildSpanned(request, request.span);
  }
  return BuildSingle(request);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    return Fail(std::string("out of memory or internal error: ") + e.what() + "; nothing written");
  }
}
