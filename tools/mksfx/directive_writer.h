// The directive record the builder stores between the stub and the ZIP: the main dialog's
// initial options, a default destination, Program Manager groups and extensions to register.
// Scrambled by the file offset it is written at, as the stub descrambles it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct DirectiveOptions {
  bool present = false;  // some directive option was given: the archive gets a record
  std::string destination;  // UTF-8, as given
  bool subdirectories = false;
  // --subdirectories or --no-subdirectories was given; without either, a new archive of folders
  // with subfolders opens with the box checked, so that a tree extracts as a tree.
  bool subdirectoriesGiven = false;
  bool messages = false;
  std::string overwrite = "ask";  // ask, always or never
  // '|'-separated: the text shown, then Program Manager DDE commands ("%0": the destination).
  std::string groups;
  // '|'-separated pairs: a key (^.TXT plain, $.ZIP through the archiver's file type), then its
  // command line ("%0": the destination, "%1": the document).
  std::string extensions;
};

// The overwrite choices --overwrite takes.
bool IsOverwriteChoice(const std::string& text);

// Every byte the record is: the 12-byte header and the whole body.
constexpr uint64_t kDirectiveRecordSize = 12 + 2128;

// The record, scrambled for file offset `offset` (a multiple of 12). Refuses, with the reason in
// error, a text that the stub could not take as it is: one longer than its field, one with a
// character outside code page 1252, a group list without its shown text or with an empty
// command, an extension list with an odd item or a malformed key.
bool MakeDirectiveRecord(const DirectiveOptions& options, uint64_t offset,
                         std::vector<uint8_t>* record, std::string* error);


// Takes argv[*i] when it is a directive option (--destination DIR, --subdirectories,
// --messages, --overwrite ask|always|never, --groups TEXT, --extensions TEXT; a value may also
// follow '='), moving *i past its value. False when it is no directive option; a problem with
// it (a missing value) in *problem.
bool TakeDirectiveOption(int argc, char** argv, int* i, DirectiveOptions* options,
                         std::string* problem);

constexpr const char kDirectiveUsage[] =
    "Directive record (the dialog's defaults and what it offers after extracting):\n"
    "  --destination DIR        default destination directory\n"
    "  --subdirectories         recreate subdirectories checked\n"
    "  --messages               show messages checked\n"
    "  --overwrite ask|always|never\n"
    "  --groups 'SHOWN|CMD|...'  Program Manager groups: the text shown, then DDE commands\n"
    "                           (%0 stands for the destination)\n"
    "  --extensions 'KEY|CMD|...'  pairs: ^.TXT (plain) or $.ZIP (DDE), then a command line\n"
    "                           (%0 the destination, %1 the document)\n";
