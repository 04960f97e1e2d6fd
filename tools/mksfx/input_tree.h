// What goes into a new archive: the folders and files named on the command line, walked,
// filtered by the exclude patterns, checked against what a ZIP without ZIP64 and the stub can
// hold, and sorted by name so that the same input always gives the same archive.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "file_stamp.h"

// Sizes of 4 GiB and more, and counts of 65535 and more, are written with ZIP64 records. What
// stays is the reader's 32-bit count, and sizes a file system could not hold.
constexpr uint64_t kMaxEntrySize = 0x7FFFFFFFFFFFFFFFull;
constexpr size_t kMaxEntries = 0xFFFFFFFEu;

struct InputItem {
  std::string name;             // UTF-8, '/' between folders; a folder's name ends in '/'
  std::filesystem::path path;   // where its contents are read
  bool directory = false;
  uint64_t size = 0;
  FileStamp stamp;
};

struct CollectOptions {
  std::vector<std::string> excludes;  // patterns (see ExcludedBy)
  bool skipLinks = false;             // leave out links that lead outside, rather than refuse
  std::filesystem::path output;       // the file being made: never read as an input
};

struct CollectResult {
  std::vector<InputItem> items;      // sorted by name
  std::vector<std::string> skipped;  // what was left out and why, one line each
  uint64_t totalBytes = 0;
};

// paths: folders (their contents, named relative to them) and files (named by their own
// name). Returns "" or the refusal, one line naming what is refused.
std::string CollectInputs(const std::vector<std::string>& paths, const CollectOptions& options,
                          CollectResult* result);

// Whether an exclude pattern takes the entry name (without a folder's final '/'). '*' any run
// of characters and '?' one character, neither crossing a '/'; "[...]" one of a set. A pattern
// without '/' is tried on the last part of the name (so "*.tmp" and "build" work at any depth),
// one with '/' on the whole name from the top.
bool ExcludedBy(const std::string& pattern, const std::string& name);
