#include "sfx_description.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "extract/aes.h"
#include "fs/fs.h"
#include "input_file.h"
#include "publisher.h"
#include "sfx_builder.h"
#include "report/report.h"
#include "shell/deployment.h"
#include "shell/run_after.h"
#include "shell/setup_directives.h"
#include "zip/archive_state.h"

namespace {

// Keeps what the reader would have shown the user.
class Collect : public ReportFrontEnd {
 public:
  void showMessage(void*, const char* text, const char*) override { shown += text; }
  std::string shown;
};

std::string Utf8(const char* text) { return text ? text : ""; }

// A name block as its items, separated by " | " as they were given.
std::string Items(const char* block) {
  std::string out;
  for (const char* p = block; p && *p; p += std::strlen(p) + 1) {
    if (!out.empty()) out += " | ";
    out += Utf8(p);
  }
  return out;
}

std::string FlagNames(uint16_t flags) {
  std::string out;
  auto add = [&](uint16_t bit, const char* name) {
    if (!(flags & bit)) return;
    if (!out.empty()) out += ", ";
    out += name;
  };
  add(kDirectiveRecreateDirectories, "subdirectories");
  add(kDirectiveShowMessages, "messages");
  add(kDirectiveCreateGroups, "groups");
  add(kDirectiveRegisterExtensions, "extensions");
  if (!out.empty()) out += ", ";
  uint16_t overwrite = flags & (kDirectiveOverwriteAlways | kDirectiveOverwriteNever);
  out += overwrite == kDirectiveOverwriteAlways  ? "overwrite always"
         : overwrite == kDirectiveOverwriteNever ? "overwrite never"
                                                 : "overwrite ask";
  return out;
}

void Line(std::string* report, const std::string& text) { *report += text + "\n"; }

// The compression method of an entry, as the listing names it.
std::string MethodName(unsigned method) {
  switch (method) {
    case 0: return "stored";
    case 8: return "deflate";
    case 9: return "deflate64";
    case 14: return "lzma";
    default: return "method " + std::to_string(method);
  }
}

// The method the data was compressed with: for an AES entry, the one its field names.
unsigned DescribedMethod(const CentralHeader& entry) {
  AesParameters aes;
  if (IsAesEntry(&entry) &&
      ParseAesField(entry.extra, entry.extraLength, &aes) == AesField::kValid) {
    return aes.method;
  }
  return entry.method;
}

}  // namespace

bool DescribeSfx(const std::string& path, std::string* report, std::string* error) {
  uint32_t headerOffset = 0;
  bool found = false;
  {
    FileStream stream(path.c_str(), kGenericRead, kShareRead, kOpenExisting, 0);
    if (!stream.isOpen()) {
      *error = path + ": cannot open";
      return false;
    }
    found = FindDirectiveHeader(stream, kDirectiveSignature, kDirectiveVersionWord) != 0;
    headerOffset = stream.position() - kDirectiveHeaderSize;
  }

  Collect shown;
  Reporter reporter(shown);
  SetupDirectives directives;
  if (!ReadSetupDirectives(directives, path.c_str(), reporter).ok()) {
    *error = "out of memory";
    return false;
  }
  SplitAtBars(directives);
  if (!found) {
    Line(report, "directive record: none (the dialog starts with its defaults)");
  } else {
    Line(report, "directive record: at offset " + std::to_string(headerOffset));
    if (!shown.shown.empty()) {
      Line(report, "  refused by the stub, which shows \"" + shown.shown + "\" and uses its defaults");
    }
    char flags[8];
    std::snprintf(flags, sizeof flags, "0x%04X", directives.flags());
    Line(report, std::string("  flags:        ") + flags + " (" + FlagNames(directives.flags()) + ")");
    Line(report, "  destination:  " + Utf8(directives.defaultDestination()));
    Line(report, "  groups:       " + Items(directives.programGroupText()));
    Line(report, "  extensions:   " + Items(directives.extensionText()));
  }

  {
    // The stub's resources lie within the reach of the directive record, which the builder
    // keeps every stub inside.
    InputFile program;
    std::string ignored;
    if (program.open(path, &ignored)) {
      std::vector<uint8_t> head(static_cast<size_t>(std::min<uint64_t>(program.size(), kDirectiveSearchSpan)));
      if (program.readAt(0, head.data(), head.size())) *report += DescribePublisher(head);
    }
  }

  RunAfter run;
  ReadRunAfter(path.c_str(), &run);
  if (!run.present()) {
    Line(report, "run after extraction: none");
  } else {
    Line(report, "run after extraction: " + Utf8(run.command.c_str()) +
                     (run.checked ? " (box checked)" : " (box unchecked)"));
  }

  const uint16_t deploy = ReadDeployFlags(path.c_str());
  Line(report, std::string("command-line switches: ") + ((deploy & kDeploySwitches) ? "read" : "ignored"));
  if (deploy & kDeployTemporaryFolder) Line(report, "runs from a temporary folder: yes");

  ArchiveState archive;
  archive.setArchiveName(path.c_str());
  Status status = archive.openArchive() ? archive.readDirectory() : archive.status();
  if (!status.ok()) {
    *error = path + ": " + status.message().c_str();
    return false;
  }
  uint64_t total = 0;
  for (uint32_t i = 0; i < archive.entryCount; ++i) total += archive.entries()[i].uncompressedSize;
  Line(report, "entries: " + std::to_string(archive.entryCount) + ", " + std::to_string(total) +
                   " bytes");
  for (uint32_t i = 0; i < archive.entryCount; ++i) {
    const CentralHeader& entry = archive.entries()[i];
    char size[48];
    std::snprintf(size, sizeof size, "%12llu  %-9s  ", static_cast<unsigned long long>(entry.uncompressedSize),
                  MethodName(DescribedMethod(entry)).c_str());
    std::string cipher;
    const int bits = AesBits(&entry);
    if (bits > 0) {
      cipher = "  (AES-" + std::to_string(bits) + ")";
    } else if (bits < 0) {
      cipher = "  (AES, damaged 0x9901 field)";
    } else if (entry.flags & kFlagEncrypted) {
      cipher = "  (traditional encryption)";
    }
    Line(report, std::string("  ") + size + std::string(entry.name, entry.nameLength) + cipher);
  }
  return true;
}
