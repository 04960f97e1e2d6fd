#include "sfx_description.h"

#include <cstdio>
#include <cstring>

#include "extract/aes.h"
#include "fs/fs.h"
#include "report/report.h"
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

  RunAfter run;
  ReadRunAfter(path.c_str(), &run);
  if (!run.present()) {
    Line(report, "run after extraction: none");
  } else {
    Line(report, "run after extraction: " + Utf8(run.command.c_str()) +
                     (run.checked ? " (box checked)" : " (box unchecked)"));
  }

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
    char size[24];
    std::snprintf(size, sizeof size, "%12llu  ", static_cast<unsigned long long>(entry.uncompressedSize));
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
