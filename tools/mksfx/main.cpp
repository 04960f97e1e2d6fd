// vespa-mksfx: turns a ZIP archive into a self-extracting program.
//
//   vespa-mksfx -o OUT.exe [--stub STUB.exe] [directive options] ARCHIVE.zip
//   vespa-mksfx --show SETUP.exe
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>

#include "output_file.h"
#include "sfx_builder.h"
#include "sfx_description.h"

#ifndef VESPA_DEFAULT_STUB
#define VESPA_DEFAULT_STUB ""
#endif

namespace {

constexpr const char kUsage[] =
    "usage: vespa-mksfx -o OUT.exe [--stub STUB.exe] [directive options] ARCHIVE.zip\n"
    "       vespa-mksfx --show SETUP.exe   (its directive record and entries)\n"
    "\n"
    "Writes OUT.exe = STUB.exe, zero padding to a multiple of 12 bytes, and ARCHIVE.zip with\n"
    "its offsets made absolute in OUT.exe. Without --stub the i686 vespa-sfx.exe of the build\n"
    "tree is used.\n"
    "\n";

int Usage(const std::string& problem) {
  std::fprintf(stderr, "vespa-mksfx: %s\n%s%s", problem.c_str(), kUsage, kDirectiveUsage);
  return 2;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "vespa-mksfx: %s\n", message.c_str());
  return 1;
}

// "--name value" or "--name=value" (and "-o value", "-ovalue" for the short form).
bool TakeValue(int argc, char** argv, int* i, const char* name, std::string* value, bool* missing) {
  const char* arg = argv[*i];
  size_t n = std::strlen(name);
  if (std::strncmp(arg, name, n) != 0) return false;
  if (arg[n] == 0) {
    if (*i + 1 >= argc) {
      *missing = true;
      return true;
    }
    *value = argv[++*i];
    return true;
  }
  bool shortForm = name[1] != '-';
  if (arg[n] == '=' && !shortForm) {
    *value = arg + n + 1;
    return true;
  }
  if (shortForm) {
    *value = arg + n;
    return true;
  }
  return false;
}

int Show(const std::string& path) {
  std::string report, error;
  if (!DescribeSfx(path, &report, &error)) return Fail(error);
  std::fputs(report.c_str(), stdout);
  return 0;
}

int Run(int argc, char** argv) {
  std::string output, stub, archive, shown;
  DirectiveOptions directives;
  bool endOfOptions = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool missing = false;
    std::string problem;
    if (!endOfOptions && (arg == "-h" || arg == "--help")) {
      std::fputs(kUsage, stdout);
      std::fputs(kDirectiveUsage, stdout);
      return 0;
    }
    if (!endOfOptions && arg == "--") {
      endOfOptions = true;
    } else if (!endOfOptions && (TakeValue(argc, argv, &i, "-o", &output, &missing) ||
                                 TakeValue(argc, argv, &i, "--output", &output, &missing) ||
                                 TakeValue(argc, argv, &i, "--stub", &stub, &missing) ||
                                 TakeValue(argc, argv, &i, "--show", &shown, &missing))) {
      if (missing) return Usage(arg + " needs a value");
    } else if (!endOfOptions && TakeDirectiveOption(argc, argv, &i, &directives, &problem)) {
      if (!problem.empty()) return Usage(problem);
    } else if (!endOfOptions && arg.size() > 1 && arg[0] == '-') {
      return Usage("unknown option " + arg);
    } else if (archive.empty()) {
      archive = arg;
    } else {
      return Usage("more than one archive named (" + archive + ", " + arg + ")");
    }
  }
  if (!shown.empty()) return Show(shown);
  if (output.empty()) return Usage("no output named (-o OUT.exe)");
  if (archive.empty()) return Usage("no archive named");

  if (stub.empty()) {
    auto candidates = DefaultStubCandidates(VESPA_DEFAULT_STUB, ProgramPath(argv[0]));
    for (const std::string& candidate : candidates) {
      std::error_code ignored;
      if (std::filesystem::is_regular_file(candidate, ignored)) {
        stub = candidate;
        break;
      }
    }
    if (stub.empty()) {
      std::string tried;
      for (const std::string& candidate : candidates) tried += "\n  " + candidate;
      return Fail("no stub named and no default stub found; build the win32 vespa-sfx.exe or "
                  "name a stub with --stub. Looked for:" +
                  (tried.empty() ? std::string(" (nowhere to look)") : tried));
    }
  }

  BuildRequest request{output, stub, archive, directives};
  BuildResult result;
  std::string error;
  if (!BuildSfx(request, &result, &error)) return Fail(error + "; nothing written");
  // Say what of the input was left out: nothing refers to it, but it was in the file given.
  auto note = [&](uint64_t count, const std::string& what) {
    if (count == 0) return;
    std::fprintf(stderr, "vespa-mksfx: note: %s: %llu bytes %s are left out\n", archive.c_str(),
                 static_cast<unsigned long long>(count), what.c_str());
  };
  note(result.droppedPrefix,
       std::string("before its first entry (a stub or other leading data; its offsets counted "
                   "from ") +
           (result.base == 0 ? "the start of the file)" : "the start of the archive)"));
  note(result.droppedGap, "between its central directory and its end record");
  note(result.droppedTrailer, "after its end (such as an old signature)");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    return Fail(std::string("out of memory or internal error: ") + e.what() + "; nothing written");
  }
}
