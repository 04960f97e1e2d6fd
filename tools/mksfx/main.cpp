// vespa-mksfx: turns a ZIP archive into a self-extracting program.
//
//   vespa-mksfx -o OUT.exe [--stub STUB.exe] [--span SIZE] ARCHIVE.zip
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>

#include "output_file.h"
#include "sfx_builder.h"
#include "spanned_set.h"

#ifndef VESPA_DEFAULT_STUB
#define VESPA_DEFAULT_STUB ""
#endif

namespace {

constexpr const char kUsage[] =
    "usage: vespa-mksfx -o OUT.exe [--stub STUB.exe] [--span SIZE] ARCHIVE.zip\n"
    "\n"
    "Writes OUT.exe = STUB.exe, zero padding to a multiple of 12 bytes, and ARCHIVE.zip with\n"
    "its offsets made absolute in OUT.exe. Without --stub the i686 vespa-sfx.exe of the build\n"
    "tree is used.\n"
    "\n"
    "--span SIZE writes a set for removable disks instead: disk1/OUT.exe, disk2/OUT.exe, ...\n"
    "beside OUT.exe, each file at most SIZE bytes (bytes, 1440k, or 1.44m: k = 1024 bytes,\n"
    "m = 1000k). Each disk must carry the volume label printed for it, also written to the\n"
    "LABEL.TXT in its folder.\n";

int Usage(const std::string& problem) {
  std::fprintf(stderr, "vespa-mksfx: %s\n%s", problem.c_str(), kUsage);
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

int BuildSpanned(const std::string& output, const std::string& stub, const std::string& archive,
                 const std::string& size) {
  SpanRequest request{output, stub, archive, 0};
  std::string error;
  if (!ParseDiskSize(size, &request.diskSize, &error)) return Usage(error);
  std::vector<SpannedDisk> disks;
  if (!BuildSpannedSfx(request, &disks, &error)) return Fail(error + "; nothing written");
  for (const SpannedDisk& disk : disks) {
    std::printf("%s  %llu bytes  label \"%s\"\n", disk.path.c_str(),
                static_cast<unsigned long long>(disk.size), disk.label.c_str());
  }
  return 0;
}

int Run(int argc, char** argv) {
  std::string output, stub, archive, span;
  bool endOfOptions = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool missing = false;
    if (!endOfOptions && (arg == "-h" || arg == "--help")) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (!endOfOptions && arg == "--") {
      endOfOptions = true;
    } else if (!endOfOptions && (TakeValue(argc, argv, &i, "-o", &output, &missing) ||
                                 TakeValue(argc, argv, &i, "--output", &output, &missing) ||
                                 TakeValue(argc, argv, &i, "--stub", &stub, &missing) ||
                                 TakeValue(argc, argv, &i, "--span", &span, &missing))) {
      if (missing) return Usage(arg + " needs a value");
    } else if (!endOfOptions && arg.size() > 1 && arg[0] == '-') {
      return Usage("unknown option " + arg);
    } else if (archive.empty()) {
      archive = arg;
    } else {
      return Usage("more than one archive named (" + archive + ", " + arg + ")");
    }
  }
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

  if (!span.empty()) return BuildSpanned(output, stub, archive, span);

  BuildRequest request{output, stub, archive};
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
