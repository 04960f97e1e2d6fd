// The one record of the open archive: where it is, its stream, the end record, the loaded
// central directory and the entry list. A failure comes back as a status: the reader's own
// status is sticky, so that a read failing deep inside a decoder stops every read after it.
#pragma once

#include <cstdint>
#include <memory>

#include "fs/fs.h"
#include "fs/text.h"
#include "report/status.h"
#include "zip/drive.h"
#include "zip/records.h"

class UserCallbacks;

constexpr uint32_t kMaxDirectoryPiece = 65368;
constexpr uint32_t kEndSearchWindow = 1024;
constexpr uint32_t kEndSearchStep = 1002;  // consecutive windows overlap by 22 bytes

class ArchiveState {
 public:
  // callbacks: asked for disks of a spanned set; may be null (no disk can be changed).
  explicit ArchiveState(UserCallbacks* callbacks = nullptr);
  ~ArchiveState();
  ArchiveState(const ArchiveState&) = delete;
  ArchiveState& operator=(const ArchiveState&) = delete;

  void setArchiveName(const char* name);
  // True when a file matching requestedName was opened, false when there is nothing (more) to
  // open; a failure to find or open the archive is in status() and also returns false.
  bool openArchive();
  // Finds the end record and loads the central directory.
  Status readDirectory();
  // Checks the entry's local header and leaves the stream on the entry's data; returns that
  // absolute offset. A failure is in status().
  uint64_t seekEntryData(const CentralHeader& entry);
  // Reads up to count bytes; fewer at the end of the archive. A failed read sets status() and
  // returns 0, as does every read after it.
  uint32_t readArchive(void* buffer, uint32_t count);
  // All count bytes or false (status() then says why). In a spanned set the bytes may come
  // from as many disks as they take.
  bool readArchiveExact(void* buffer, uint32_t count);
  void closeArchive();
  // Opens a new stream on archivePath (after a disk change).
  bool reopenArchive();

  const Status& status() const { return status_; }
  bool failed() const { return !status_.ok(); }

  // Spanned sets on removable disks. probeSpanning: 0 not spanned, 1 a volume of a set that
  // does not hold the end record, 2 the disk of a set that holds it.
  int probeSpanning();
  // The number written in the label of the disk in the archive's drive from its ninth
  // character on (0 when there is none), or -1 when the label cannot be read.
  int diskNumberFromLabel();
  // Returns once the disk numbered disk (0-based) is in the drive and open; false when the user
  // cancelled or the disk cannot be read (status() says which).
  bool switchDisk(int disk);
  // The drive to ask about the archive's drive class and labels in place of the file layer;
  // set before openArchive. Not owned.
  void setDrive(DriveInfo* drive) { drive_ = drive; }

  const EndRecord* endRecord() const { return hasEndRecord_ ? &endRecord_ : nullptr; }
  // Where the central directory is and how long, from the end record or, where its figures are
  // saturated, from the ZIP64 end record (zip64() then says so).
  uint64_t directoryOffset() const { return directoryOffset_; }
  uint64_t directorySize() const { return directorySize_; }
  bool zip64() const { return zip64_; }
  // The loaded entries, in load order until a run sorts them.
  CentralHeader* entries() { return entries_.get(); }
  const CentralHeader* entries() const { return entries_.get(); }
  // The local extra field of the entry last sought.
  const uint8_t* localExtra() const { return localExtra_; }
  uint16_t localExtraLength() const { return localExtraLength_; }

  PathBuffer archivePath;
  PathBuffer fullPath;
  PathBuffer requestedName;
  int driveType = kDriveFixed;
  uint64_t archiveSize = 0;
  uint32_t entryCount = 0;
  int spanned = 0;
  int currentDisk = 0;
  FileStream* stream = nullptr;
  // Where the archive's own file came from (its Zone.Identifier stream, empty without one):
  // every file extracted from it carries the same, as files unpacked by Windows itself do.
  Text zoneMark;

 private:
  // One piece of the loaded central directory; headers never straddle two pieces.
  struct Piece {
    std::unique_ptr<uint8_t[]> data;
    uint32_t size = 0;
    std::unique_ptr<Piece> older;
  };

  bool fail(const Status& status);
  bool failOpen(int error);
  int queryDriveType();
  // Reopens the archive on the disk the user has just inserted. False with *inserted false and
  // nothing reported when the disk does not hold the archive's file (it is asked for again);
  // false with *inserted true when the file is there but cannot be opened (status() says why).
  bool reopenOnInsertedDisk(bool* inserted);
  bool startSpannedSet(int probe);
  bool lastDiskReached() const;
  // Moves count bytes forward, on the next disk for what lies past the end of this one.
  bool skipArchive(uint64_t count);
  bool findEndRecord();
  // The directory's figures, through the ZIP64 locator and end record where the end record's
  // are saturated; false (status() says why) when they cannot be read safely.
  bool resolveDirectoryFigures();
  bool readZip64Locator(uint8_t* locator);
  bool takeZip64EndRecord(const uint8_t* locator);
  bool loadDirectory();
  // Goes to the directory's disk and offset and checks the first header's signature;
  // *headerThere says whether one stands there.
  bool seekDirectory(bool* headerThere);
  // An end record that counts no entries: false (status() says why) when the directory holds
  // headers all the same.
  bool refuseUncountedHeaders();
  // Loads directory bytes in pieces and parses the toFind headers they hold.
  bool loadHeaders(uint64_t remaining, uint32_t toFind);
  // A piece loaded (its size in *pieceSize), nothing loaded this time (a disk change, a piece
  // that ended up empty: try again), or a failure in status().
  enum class PieceRead { kRead, kNothing, kFailed };
  PieceRead readPiece(uint64_t remaining, bool* acrossDisks, uint32_t* pieceSize);
  // Ends the newest piece on a header boundary: a header cut by the piece's end is read again
  // at the start of the next piece. Seeking back never reaches before the current disk's file.
  bool fitPieceToHeaders(uint32_t* pieceSize, uint64_t remaining, bool clipped, bool* acrossDisks);
  // The headers of a piece into entries_; bytes between headers are skipped, and headers past
  // the toFind announced are counted in *surplus.
  bool parsePiece(uint8_t* data, uint32_t piece, uint32_t* found, uint32_t* toFind,
                  uint64_t* surplus);
  // The headers the directory holds beyond the count the end record gave: a refusal that names
  // both figures, since reading fewer entries than there are would pass over files unseen.
  bool refuseSurplusHeaders(uint64_t surplus);
  void freeDirectory();
  // The entry's name in UTF-8; false (status() says why) when memory runs out.
  bool translateEntryName(CentralHeader* header);
  // size bytes that live as long as the loaded directory; null when memory runs out.
  char* nameStorage(uint32_t size);
  // A header as the entry list keeps it: its name translated, its ZIP64 figures taken from its
  // extra field and checked against the file; false (status() says why) when they cannot be.
  bool adoptHeader(CentralHeader* header);
  uint8_t* newPiece(uint32_t size);
  void dropNewestPiece();

  UserCallbacks* callbacks_;
  DriveInfo* drive_ = nullptr;
  Status status_;
  SearchHandle search_ = kNoSearch;
  std::unique_ptr<FindInfo> found_;  // the search context, created on the first search
  bool searchFinished_ = false;
  std::unique_ptr<Piece> pieces_;  // the newest piece first
  std::unique_ptr<Piece> names_;   // names grown by their conversion to UTF-8, newest first
  uint32_t namesUsed_ = 0;         // bytes taken of the newest
  EndRecord endRecord_;
  bool hasEndRecord_ = false;
  uint64_t endRecordOffset_ = 0;
  uint64_t directoryOffset_ = 0;
  uint64_t directorySize_ = 0;
  bool zip64_ = false;
  std::unique_ptr<CentralHeader[]> entries_;
  // The local name and extra field of the entry last sought, in a buffer kept from entry to entry.
  bool reserveLocalFields(uint32_t size);
  std::unique_ptr<uint8_t[]> localFields_;
  uint32_t localFieldsCapacity_ = 0;
  const uint8_t* localExtra_ = nullptr;
  uint16_t localExtraLength_ = 0;
};

// Names: the central headers' names are turned into UTF-8 when the directory loads.
constexpr int kTranslateAnsiToOem = 1;
constexpr int kTranslateOemToAnsi = 2;
void translateName(char* destination, const char* source, uint32_t length, int mode);
// A name flagged UTF-8 (flag bit 11) turned into the ANSI code page in place; characters without
// an ANSI form become '_'. Returns the new length (never longer than length).
uint32_t utf8NameToAnsi(char* name, uint32_t length);
// A name in the OEM code page into UTF-8 at out (room for 3 * length bytes), each byte its own
// character, so that no two names become one; returns the new length. On Windows the system's
// OEM code page, as the DOS programs of the machine wrote names; elsewhere code page 437.
uint32_t oemNameToUtf8(const char* name, uint32_t length, char* out);
// The same through code page 437 on every system.
uint32_t dosNameToUtf8(const char* name, uint32_t length, char* out);
char* toForwardSlashes(char* text);

// Sorts the entries by key (the low three bits of a sort key; kSort* of the run settings).
// spanned: natural order follows the disks first.
void sortEntries(int key, CentralHeader* entries, uint32_t count, bool spanned);
int compressionRatio(uint64_t compressedSize, uint64_t uncompressedSize);

// The entry's name as a path: a terminated copy with '/' separators in buffer (size chars).
// False when the name does not fit: buffer then holds as much of it as fits, for messages only.
bool copyEntryName(char* buffer, size_t size, const char* name, uint32_t length);
