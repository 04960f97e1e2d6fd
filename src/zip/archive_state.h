// The one record of the open archive: where it is, its stream, the end record, the loaded
// central directory and the entry list, the name lists and the authenticity summary.
#pragma once

#include <cstdint>

#include "authenticity/summary.h"
#include "extract/name_lists.h"
#include "fs/fs.h"
#include "zip/records.h"

// One piece of the loaded central directory; headers never straddle two pieces.
struct DirectoryChunk {
  DirectoryChunk* next;  // the older piece
  uint32_t used;         // valid bytes in data
  uint8_t data[1];       // allocated to the piece's size
};

constexpr uint32_t kMaxDirectoryPiece = 65368;
constexpr uint32_t kEndSearchWindow = 1024;
constexpr uint32_t kEndSearchStep = 1002;  // consecutive windows overlap by 22 bytes

class ArchiveState {
 public:
  ArchiveState();
  ~ArchiveState();
  ArchiveState(const ArchiveState&) = delete;
  ArchiveState& operator=(const ArchiveState&) = delete;

  void setArchiveName(const char* name);
  // 1 when a file matching requestedName was opened, 0 when there is nothing (more) to open.
  int openArchive();
  // Finds the end record and loads the central directory; every failure ends the process.
  int readDirectory();
  // Checks the entry's local header and leaves the stream on the entry's data; returns that
  // absolute offset.
  uint32_t seekEntryData(const CentralHeader* entry);
  uint32_t readArchive(void* buffer, uint32_t count);
  uint32_t readArchiveExact(void* buffer, uint32_t count);
  void closeArchive();
  // Accepts text as the destination directory (see the option parser); copy receives the text.
  int setDestination(const char* text, char* copy);
  // Opens a new stream on archivePath (after a disk change).
  void reopenArchive();

  // Spanned sets on removable disks.
  int probeSpanning();
  int diskNumberFromLabel();
  void switchDisk(int disk);

  const EndRecord* endRecord() const { return endRecord_; }
  CentralHeader** entries() { return entries_; }
  CentralHeader* const* entries() const { return entries_; }

  char archivePath[kPathSize] = {};
  char fullPath[kPathSize] = {};
  char requestedName[kPathSize] = {};
  char destination[kPathSize] = {};
  uint8_t* localExtra = nullptr;  // NUL-terminated copy of the last local extra field
  uint16_t localExtraLength = 0;
  int driveType = kDriveFixed;
  uint32_t archiveSize = 0;
  uint32_t entryCount = 0;
  AuthenticitySummary authenticity;
  NameLists names;
  int spanned = 0;
  int currentDisk = 0;
  FileStream* stream = nullptr;

 private:
  void findEndRecord();
  void loadDirectory();
  void freeDirectory();
  void translateEntryName(CentralHeader* header);
  [[noreturn]] void failOpen();

  SearchHandle search_ = kNoSearch;
  FindInfo* found_ = nullptr;  // the search context, created on the first search
  bool searchFinished_ = false;
  DirectoryChunk* chunks_ = nullptr;
  EndRecord* endRecord_ = nullptr;
  CentralHeader** entries_ = nullptr;
};

// Names: the central headers' names are translated in place when the directory loads.
constexpr int kTranslateAnsiToOem = 1;
constexpr int kTranslateOemToAnsi = 2;
void translateName(char* destination, const char* source, uint32_t length, int mode);
// A name flagged UTF-8 (flag bit 11) turned into the ANSI code page in place; characters without
// an ANSI form become '_'. Returns the new length (never longer than length).
uint32_t utf8NameToAnsi(char* name, uint32_t length);
char* toForwardSlashes(char* text);
char* copyEntryName(char* buffer, const char* name, uint32_t length);

// Sort keys of the entry list; 8 added walks the sorted list backwards.
constexpr int kSortNatural = 0;
constexpr int kSortName = 2;
constexpr int kSortExtension = 3;
constexpr int kSortDate = 4;
constexpr int kSortSize = 5;
constexpr int kSortRatio = 6;
constexpr int kSortCrc = 7;
constexpr int kSortDescending = 8;
void sortEntries(int key, CentralHeader** entries, uint32_t count);
int compressionRatio(uint32_t compressedSize, uint32_t uncompressedSize);
