// The setup directives stored with a self-extracting program: the initial states of the main
// dialog's options, a default destination, the Program Manager groups to create and the
// extensions to register after an extraction. A value: the stub owns one from start-up to its
// end, vespa-console one to show it, tests as many as they like.
#pragma once

#include <cstdint>

#include "fs/fs.h"
#include "fs/text.h"
#include "report/report.h"
#include "shell/directive_flags.h"
#include "shell/directive_record.h"

class ArchiveState;

class SetupDirectives {
 public:
  SetupDirectives();

  uint16_t flags() const;
  void setFlags(uint16_t flags);
  void clearFlags(uint16_t bits) { setFlags(static_cast<uint16_t>(flags() & ~bits)); }

  // Each is null when its field is empty. After SplitAtBars, the group and extension texts
  // are name blocks: strings ended by an empty one. In UTF-8, as every text inside the engine
  // (the record keeps them in 1252); valid while the record's field is unchanged.
  const char* defaultDestination() const { return text(kDirectiveDestination, 0); }
  const char* programGroupText() const { return text(kDirectiveGroups, 1); }
  const char* extensionText() const { return text(kDirectiveExtensions, 2); }

  uint8_t* body() { return body_; }
  const uint8_t* body() const { return body_; }
  // Kept for the dialog while the directives live (ExtensionDisplayList).
  Text& displayList() { return displayList_; }

 private:
  const char* text(const DirectiveField& field, int slot) const;

  uint8_t body_[kDirectiveMaxBody];
  Text displayList_;
  // Each text as last converted, and the field's bytes it was converted from.
  mutable Text converted_[3];
  mutable Text convertedFrom_[3];
};

// The defaults of a program file without a record: the layout's constants, no flags, every text
// empty.
void ResetDirectives(SetupDirectives& directives);
// The first word, every length and tag and the end word hold their constants; the texts the
// program reads each end inside their fields (the lists with an empty string after them).
bool ValidateDirectives(const SetupDirectives& directives);
// Turns the '|' separators of the group and extension texts into NULs.
void SplitAtBars(SetupDirectives& directives);
// The extension names of the pairs joined by ';' (TXT;DOC): what the dialog shows next to its
// extension box. Built afresh from the (split) extension text and kept with the directives;
// null without extensions.
const char* ExtensionDisplayList(SetupDirectives& directives);

// The length word of the header found in stream (read from its current position, block by
// block of 12 bytes, up to 300000 bytes), descrambled; 0 when none is found. The stream is left
// just after the header.
uint32_t FindDirectiveHeader(FileStream& stream, uint32_t signature, uint32_t versionWord);
// Looks for the record in stream from its current position, loads and checks it. A record too
// long or failing its checks is shown as message 452 and the defaults apply; without a record
// the defaults apply silently. Clears the group and extension flags when their texts are empty.
// Only running out of memory is a failure.
Status LoadDirectives(SetupDirectives& directives, FileStream& stream, Reporter& reporter);
// Loads the record of the program file at path.
Status ReadSetupDirectives(SetupDirectives& directives, const char* path, Reporter& reporter);
// Loads the record from the open archive's own stream, from its start; the stream's position
// is kept. An archive without paths never recreates directories: bit 0 is cleared then.
Status ReadSetupDirectives(SetupDirectives& directives, ArchiveState& archive, Reporter& reporter);

// True when some entry name of the archive contains '/'.
bool ArchiveHasDirectories(const ArchiveState* archive);

// A new text: text with every occurrence of token replaced by replacement.
Text ReplaceAll(const char* text, const char* replacement, const char* token);

// One (key, command) pair of the extension block; a key without a command is no pair.
struct ExtensionPair {
  const char* key;
  const char* command;
};
// The pairs of the split extension block, in order: index from 0; false past the last one.
bool ExtensionPairAt(const char* block, int index, ExtensionPair* pair);
