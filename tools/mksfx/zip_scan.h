// Reading the records of the archive to be made self-extracting: the end record, the central
// directory and a look at every local header, with everything the builder cannot shift refused.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "input_file.h"

// Records of the later ZIP extensions that this builder does not shift in an existing ZIP (the
// ZIP64 records are in zip/records.h): a ZIP it made itself carries them where needed.
// The optional record that may close a central directory: signature, 16-bit length, data.
constexpr uint32_t kDirectorySignatureSignature = 0x05054B50;

// An archive as found in the input file. Positions are absolute in the input file: the stored
// offsets have already been corrected for whatever the archive's writer counted them from.
struct ScannedZip {
  uint64_t start = 0;           // first byte of the archive proper: its lowest local header
  uint64_t directoryStart = 0;  // the first central header
  uint32_t directorySize = 0;
  uint64_t endRecordStart = 0;
  uint64_t end = 0;             // one past the archive comment
  // What the stored offsets were counted from: stored + base = position in the input. 0 when
  // they were already absolute; the length of a prefix when they count from the ZIP's start.
  int64_t base = 0;

  std::vector<uint8_t> directory;  // the central directory as read (directorySize bytes)
  std::vector<uint8_t> endRecord;  // the 22 fixed bytes and the comment
  struct Entry {
    uint32_t headerOffset;  // of its central header inside `directory`
    uint64_t localHeader;   // position of its local header in the input
    std::string name;       // printable form, for messages
  };
  std::vector<Entry> entries;
};

// Finds the end record, checks it, loads and checks the central directory and checks that every
// entry's local header is where the directory says. On refusal returns false with the reason in
// error (one line, naming the archive).
bool ScanZip(InputFile& input, ScannedZip* zip, std::string* error);
