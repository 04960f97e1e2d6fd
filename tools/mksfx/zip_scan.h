// Reading the records of the archive to be made self-extracting: the end record, the central
// directory and a look at every local header, with everything the builder cannot shift refused.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "input_file.h"

// Records of the later ZIP extensions that this builder does not shift in an existing ZIP (the
// ZIP64 records, which it does shift, are in zip/records.h).
// The optional record that may close a central directory: signature, 16-bit length, data.
constexpr uint32_t kDirectorySignatureSignature = 0x05054B50;

// An archive as found in the input file. Positions are absolute in the input file: the stored
// offsets have already been corrected for whatever the archive's writer counted them from.
struct ScannedZip {
  uint64_t start = 0;           // first byte of the archive proper: its lowest local header
  uint64_t directoryStart = 0;  // the first central header
  uint32_t directorySize = 0;
  uint64_t entryCount = 0;      // from the ZIP64 end record where the end record's is saturated
  uint64_t recordsStart = 0;    // the ZIP64 end record when there is one, else the end record
  uint64_t endRecordStart = 0;
  uint64_t end = 0;             // one past the archive comment
  // What the stored offsets were counted from: stored + base = position in the input. 0 when
  // they were already absolute; the length of a prefix when they count from the ZIP's start.
  int64_t base = 0;

  std::vector<uint8_t> directory;  // the central directory as read (directorySize bytes)
  std::vector<uint8_t> endRecord;  // the 22 fixed bytes and the comment
  // The ZIP64 end record (with any extensible data) and its locator, as read; empty without.
  // Written between the directory and the end record.
  std::vector<uint8_t> zip64Records;
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

// The directory's figures written wherever the archive keeps them: the end record's fields
// that are not saturated, and the ZIP64 end record and locator when there are.
void SetDirectorySize(ScannedZip* zip, uint32_t size);
void SetDirectoryOffset(ScannedZip* zip, uint64_t offset);
// The local header offset of the central header at header, in its own field or, where that is
// saturated, in its ZIP64 extra field (whose place ScanZip checked).
void SetLocalHeaderOffset(uint8_t* header, uint64_t offset);
