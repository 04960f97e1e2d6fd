// One run's engine state: what the run was asked, where it reports, its buffers, the entry in
// hand and its output, the password and cipher keys, and the first fatal condition met.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "extract/aes.h"
#include "extract/decrypt.h"
#include "fs/fs.h"
#include "fs/text.h"
#include "inflate/inflate.h"
#include "options/run_options.h"
#include "report/report.h"

class ArchiveState;
class UserCallbacks;
struct CentralHeader;

constexpr uint32_t kInputBufferSize = 61440;
constexpr uint32_t kWorkBufferSize = kInflateWorkSize;

// File times from an NTFS extra field, as the file system keeps them.
struct NtfsTimes {
  FileTime times[3];  // creation, last access, last write: the order setFileTimes takes
};
constexpr int kNtfsCreation = 0;
constexpr int kNtfsLastAccess = 1;
constexpr int kNtfsLastWrite = 2;

// Where CONSOLE sends decoded bytes; null discards them (the stub has no console).
using ConsoleSink = void (*)(const uint8_t* bytes, uint32_t count);

// How an entry's data compared with its stored CRC-32. kUndecodable: the decoder gave up (or
// knew no such method), or AES-encrypted data failed its authentication code, and a warning was
// reported; the data is damaged whatever its CRC says.
enum class CrcCheck { kNotChecked, kMatched, kMismatched, kUndecodable };

// Whether an entry's data may stand, decided in one place (JudgeEntry) once the data has been
// through: the CRC-32 now, and any further check an entry's data carries joins it there. Only a
// sound entry's file takes the place of a file that was there before.
enum class EntryOutcome { kSound, kDamaged, kUndecodable };

// An entry's file written beside the existing file it is to replace, under a name of ours in the
// same folder; the existing file stays untouched until the entry has been judged sound and the
// new one is put in its place in one step. Times go on again after the move (Windows keeps the
// old file's creation time on a replace), attributes as on any extracted file.
class Replacement {
 public:
  Replacement() = default;
  ~Replacement() { drop(); }
  Replacement(const Replacement&) = delete;
  Replacement& operator=(const Replacement&) = delete;
  Replacement(Replacement&& other) noexcept { *this = static_cast<Replacement&&>(other); }
  Replacement& operator=(Replacement&& other) noexcept;

  bool active() const { return !temporary_.empty(); }
  const char* temporary() const { return temporary_.c_str(); }
  const char* target() const { return target_.c_str(); }
  // Makes the file beside target: a new name of ours, created exclusively, hidden.
  std::unique_ptr<FileStream> begin(const char* target, uint32_t attributes);
  // What the file gets once in place.
  void finishWith(uint32_t attributes, uint32_t lastWrite, const NtfsTimes* times,
                  unsigned timeSelection);
  // The file of ours goes; the existing file stays as it was.
  void drop();
  // Puts the file in the existing one's place; false, with the file of ours gone, when the
  // system refused.
  bool commit();

 private:
  Text temporary_;
  Text target_;
  uint32_t attributes_ = 0;
  uint32_t lastWrite_ = 0;
  bool hasTimes_ = false;
  FileTime times_[3] = {};
  unsigned timeSelection_ = 0;
};

// The name part of the files a replacement writes: a user who finds one left by a killed run
// knows whose it is; nothing an archive names is ever looked for under it.
inline constexpr char kReplacementPrefix[] = "~vespa-";
inline constexpr char kReplacementSuffix[] = ".tmp";

// Told of each path an output is about to be looked up or made at. A run that writes entries on
// other threads first lets an earlier entry that writes the same path finish, so that what the
// run finds there is what a run on one thread would find.
class OutputGuard {
 public:
  virtual ~OutputGuard() = default;
  virtual void settle(const char* path) = 0;
};

struct ExtractionContext {
  // The buffers are allocated here; ready() tells whether memory sufficed (message 105).
  ExtractionContext(ArchiveState* archive, const RunOptions& options, Reporter& report,
                    UserCallbacks* callbacks, const char* destination);
  // Destroys an output stream still open and frees the buffers.
  ~ExtractionContext();
  ExtractionContext(const ExtractionContext&) = delete;
  ExtractionContext& operator=(const ExtractionContext&) = delete;

  bool ready() const { return work && window && input; }
  // Records the first fatal condition of the run; returns false for the caller's convenience.
  bool fail(const Status& failure);
  bool failed() const { return !status.ok(); }

  ArchiveState* archive;
  const RunOptions& options;
  Reporter& report;
  UserCallbacks* callbacks;
  ConsoleSink consoleSink = nullptr;
  OutputGuard* outputGuard = nullptr;
  // Set by the front end to stop the run (its Cancel); read between the reads of an entry's data.
  const std::atomic<bool>* cancel = nullptr;
  const char* destination;  // ends in a separator, or is empty
  Status status;            // the first fatal condition; the run stops there

  // What the user decided during the run.
  OverwriteMode overwrite;    // starts as options.Overwrite; "always" and "never" answers stick
  bool passwordsAllowed;      // starts as options.Password; "skip all" clears it
  Text password;              // the password tried on encrypted entries, in code page 1252
  Text passwordUtf8;          // the same as typed, which the AES keys are derived from
  bool passwordKnown = false;  // password holds a given or typed password
  CipherKeys keys;
  // An AES-encrypted entry's field and keys (aes.version 0 for any other entry), and the
  // stream that deciphers it on the thread that decodes it.
  AesParameters aes;
  AesKeys aesKeys;
  AesStream aesStream;

  uint32_t crc = 0xFFFFFFFFu;  // running CRC-32 register of the entry
  int processedCount = 0;
  const CentralHeader* entry = nullptr;
  uint8_t* input = nullptr;
  uint32_t inputSize = kInputBufferSize;
  uint8_t* window = nullptr;
  uint8_t* work = nullptr;
  std::unique_ptr<FileStream> output;
  // Set while the output is a file of ours that is to replace an existing one (outputName).
  Replacement replacement;
  // Set by a run that puts replacements in place itself, in entry order (a run on workers):
  // FinishEntry then leaves a sound entry's replacement pending in `replacement`.
  bool holdReplacement = false;
  // The deepest folder of an output path found to be there and no link: nothing in a run makes
  // a link, so the entries that follow in it need only their own components looked at.
  PathBuffer linkFreeFolder;

  // Per entry; paths are as long as Windows takes them, so they live on the heap.
  PathBuffer nameBuffer;  // the stored name, '/' separators
  char* outputName = nameBuffer;
  PathBuffer pathBuffer;
  PathBuffer scratch;  // a copy of a path to walk, cut or look up
  bool isDirectory = false;
  bool decrypting = false;     // the traditional cipher
  bool aesDecrypting = false;  // the AES stream
  bool abortRequested = false;  // the user answered an overwrite question with Escape
  uint64_t remainingInput = 0;  // 64-bit, as entries pass 4 GiB
  uint64_t expectedSize = 0;
  uint64_t bytesOut = 0;
  CrcCheck crcCheck = CrcCheck::kNotChecked;
  uint32_t computedCrc = 0;

  void destroyOutput();
  // Closes the output and removes the file it wrote: the replacement of ours when there is one
  // (the existing file stays), else the new file at outputName.
  void discardOutput();
};

// What ExtractEntry leaves the run to do. kStopRun: the user asked to stop, or context->status
// holds a fatal condition.
enum class AfterEntry { kNextEntry, kStopRun };
AfterEntry ExtractEntry(ExtractionContext* context, const CentralHeader* entry);
// ExtractEntry in two halves, for a run that decodes on other threads. PrepareEntry does all that
// reads the archive's directory order, asks the user or names the output (version, local header,
// password, output file, the entry's first progress lines); *toDecode says whether the entry's
// data remains, for FinishEntry: decoding, times, attributes and the CRC check, which ask nothing.
AfterEntry PrepareEntry(ExtractionContext* context, const CentralHeader* entry,
                        std::unique_ptr<NtfsTimes>* times, bool* toDecode);
AfterEntry FinishEntry(ExtractionContext* context, const CentralHeader* entry,
                       const NtfsTimes* times);
// Compressed bytes of the entry, decrypted when needed; 0 once the entry's data is used up or
// the run has failed.
uint32_t ReadEntryData(ExtractionContext* context, uint8_t* buffer, uint32_t wanted);
// Bytes beyond the central directory's uncompressed size are dropped; returns bytes taken.
uint32_t WriteOutput(ExtractionContext* context, const uint8_t* bytes, uint32_t count);
// Copies a stored entry's data to the output; sizes that disagree are warned about and the
// smaller is copied.
void CopyStored(ExtractionContext* context);
// The NTFS times of the first local extra field, or null.
std::unique_ptr<NtfsTimes> ReadNtfsTimes(Reporter& report, const uint8_t* extra, uint32_t length);
const char* MethodLabel(unsigned method);
// The method the entry's data is decoded with: the one inside the AES field for an AES entry.
unsigned DataMethod(const ExtractionContext* context, const CentralHeader* entry);
// Whether the decoder dispatch knows the method.
bool DecodableMethod(unsigned method);
