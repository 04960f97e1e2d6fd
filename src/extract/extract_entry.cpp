// The per-entry work of a run: version check, local header, password, output, decoding, times,
// attributes, CRC check and progress.
#include <cstring>
#include <memory>
#include <new>

#include "extract/context.h"
#include "extract/crc32.h"
#include "extract/decrypt.h"
#include "extract/output.h"
#include "extract/attributes.h"
#include "fs/format.h"
#include "inflate/inflate.h"
#include "lzma/lzma.h"
#include "zip/archive_state.h"

namespace {

// Entries that need a later version of the format than this program reads are refused; but
// version 4.5 is what ZIP64 needs, which this program reads, so an entry that needs 4.5 and
// carries a ZIP64 extra field (in its central or its local header) is read.
constexpr uint16_t kMaxVersionNeeded = 25;
constexpr uint16_t kZip64VersionNeeded = 45;
// LZMA entries need version 6.3, which this program reads for them alone.
constexpr uint16_t kLzmaVersionNeeded = 63;
constexpr uint16_t kMethodLzma = 14;
constexpr uint16_t kFlagEndMarker = 0x0002;  // an LZMA stream ends with an end marker
constexpr uint16_t kNtfsExtraId = 0x000A;
constexpr uint16_t kNtfsTimesTag = 1;
constexpr uint16_t kNtfsTimesSize = 24;

const char* const kMethodLabels[12] = {
    "   Extracting",  "  Unshrinking", "   Unreducing", "   Unreducing",
    "   Unreducing",  "   Unreducing", "    Exploding", "   Extracting",
    "    Inflating",  "    Inflating", "LVK Exploding", "Unknown compression method for file",
};

// The decoder reads and writes through the context.
class ContextIo : public InflateIo {
 public:
  explicit ContextIo(ExtractionContext* context) : context_(context) {}
  uint32_t readInput(uint8_t* buffer, uint32_t wanted) override {
    return ReadEntryData(context_, buffer, wanted);
  }
  void writeOutput(const uint8_t* bytes, uint32_t count) override {
    decoded_ += count;
    WriteOutput(context_, bytes, count);
  }
  // What the decoder gave, the bytes beyond the declared size included.
  uint64_t decoded() const { return decoded_; }

 private:
  ExtractionContext* context_;
  uint64_t decoded_ = 0;
};

void WarnNeedsVersion(ExtractionContext* context, unsigned version) {
  char figures[32];
  FormatText(figures, sizeof figures, "%d.%d para extrair: ", version / 10, version % 10);
  Text detail(figures);
  detail += context->outputName;
  context->report.warning(kWarnNeedsVersion, detail.c_str());
}

// Writers that learn an entry's size only after its data (a pipe) give ZIP64 fields to the
// local header alone.
bool UsesZip64(const CentralHeader* entry, const ArchiveState* archive) {
  return entry->zip64 || ApplyZip64Extra(archive->localExtra(), archive->localExtraLength(), nullptr,
                                         nullptr, nullptr, nullptr) != Zip64Extra::kAbsent;
}

// How far a stage of ExtractEntry takes the entry.
enum class Stage { kGoOn, kEntryDone, kRunStops };

AfterEntry Ending(Stage stage) {
  return stage == Stage::kRunStops ? AfterEntry::kStopRun : AfterEntry::kNextEntry;
}

// Resets the per-entry state for entry; false when its name does not fit a path.
bool BeginEntry(ExtractionContext* context, const CentralHeader* entry) {
  context->entry = entry;
  context->crcCheck = CrcCheck::kNotChecked;
  const bool nameFits =
      copyEntryName(context->nameBuffer, kLongPathSize, entry->name, entry->nameLength);
  context->outputName = context->nameBuffer;
  size_t nameLength = std::strlen(context->nameBuffer);
  context->isDirectory = nameLength > 0 && context->nameBuffer[nameLength - 1] == '/';
  context->decrypting = false;
  context->aesDecrypting = false;
  context->aes = AesParameters();
  context->abortRequested = false;
  context->destroyOutput();
  return nameFits;
}

// True, after a warning, for an entry this program must not or cannot extract.
bool Refused(ExtractionContext* context, const CentralHeader* entry, bool nameFits) {
  // A name cut to fit a path would put the entry's data into some other file.
  if (!nameFits && context->options.command == kCommandExtract) {
    Text whole(entry->name, entry->nameLength);
    context->report.warning(kWarnCannotCreate, whole.c_str());
    return true;
  }
  // The upper byte of the field names the host system of the maker, not a version: many
  // archivers set it, and every reader compares the lower byte alone.
  const unsigned version = entry->versionNeeded & 0xFFu;
  if (version > kMaxVersionNeeded && version != kZip64VersionNeeded &&
      !(version == kLzmaVersionNeeded && (entry->method == kMethodLzma || IsAesEntry(entry))) &&
      !(version == kAesVersionNeeded && IsAesEntry(entry))) {
    WarnNeedsVersion(context, version);
    return true;
  }
  return false;
}

// The local header, the NTFS times of its extra field, and the password of an encrypted entry:
// afterwards the archive stands at the entry's (deciphered) data.
Stage PrepareInput(ExtractionContext* context, const CentralHeader* entry,
                   std::unique_ptr<NtfsTimes>* times) {
  // seekEntryData asks for the disk the entry starts on.
  ArchiveState* archive = context->archive;
  archive->seekEntryData(*entry);
  if (archive->failed()) {
    context->fail(archive->status());
    return Stage::kRunStops;
  }
  const unsigned version = entry->versionNeeded & 0xFFu;
  if (version == kZip64VersionNeeded && !UsesZip64(entry, archive)) {
    WarnNeedsVersion(context, version);
    return Stage::kEntryDone;
  }
  context->bytesOut = 0;
  if (context->options.useNtfsTimes) {
    *times = ReadNtfsTimes(context->report, archive->localExtra(), archive->localExtraLength());
  }
  if (!(entry->flags & kFlagEncrypted)) {
    context->remainingInput = entry->compressedSize;
    return Stage::kGoOn;
  }
  if (IsAesEntry(entry)) {
    // The field sizes every read that follows: one that is missing, short or names what this
    // program does not know refuses the entry before anything is asked or written.
    AesParameters aes;
    if (EntryAesField(entry, archive->localExtra(), archive->localExtraLength(), &aes) !=
            AesField::kValid ||
        !DecodableMethod(aes.method)) {
      context->report.warning(kWarnAesFieldDamaged, context->nameBuffer);
      return Stage::kEntryDone;
    }
    context->aes = aes;
  }
  const PasswordCheck check = CheckPassword(context, entry);
  if (archive->failed()) {
    context->fail(archive->status());
    return Stage::kRunStops;
  }
  if (check == PasswordCheck::kSkipped) return Stage::kEntryDone;
  // CheckPassword has left remainingInput at the enciphered data alone.
  if (context->aes.version != 0) {
    context->aesDecrypting = true;
  } else {
    context->decrypting = true;
  }
  return Stage::kGoOn;
}

// Where the bytes go (OpenOutput), and the progress lines that name the entry. A directory to
// extract is finished here.
Stage PrepareOutput(ExtractionContext* context, const CentralHeader* entry) {
  const Command command = context->options.command;
  if (!OpenOutput(context, entry)) {
    return context->failed() || context->abortRequested ? Stage::kRunStops : Stage::kEntryDone;
  }
  if (command == kCommandTest) {
    context->report.testing();
  } else {
    context->report.action(MethodLabel(DataMethod(context, entry)));
  }
  context->report.item(context->outputName);
  if (context->isDirectory) {
    ++context->processedCount;
    if (command == kCommandExtract) return Stage::kEntryDone;
  }
  return Stage::kGoOn;
}

// Runs the decoder of method on the entry's data; 0, or the warning the decoder gave up with.
int RunDecoder(ExtractionContext* context, const CentralHeader* entry, unsigned method) {
  ContextIo io(context);
  switch (method) {
    case 8:
    case 9: {
      InflateBuffers buffers{context->input, context->inputSize, context->window, context->work};
      const int result = Inflate(buffers, io, method == 9);
      // Data that decodes to more or fewer bytes than the entry declares is not the entry's
      // whole (more is cut at the declared size): said as for a stored entry, whatever the CRC.
      if (result == 0 && io.decoded() != context->expectedSize && !context->failed()) {
        context->report.warning(kWarnUnexpectedSize, context->nameBuffer);
      }
      return result;
    }
    case kMethodLzma:
      return DecodeLzma(context->input, context->inputSize, io, entry->uncompressedSize,
                        (entry->flags & kFlagEndMarker) != 0);
    default:
      return kWarnUnknownMethod;
  }
}

// Decodes the entry's data into the output with the CRC on the fly. False, after a warning,
// when the decoder gave up or knows no such method.
bool Decode(ExtractionContext* context, const CentralHeader* entry) {
  context->crc = 0xFFFFFFFFu;
  context->bytesOut = 0;
  context->expectedSize = entry->uncompressedSize;
  const unsigned method = DataMethod(context, entry);
  if (method == 0) {
    CopyStored(context);
    return true;
  }
  const int result = RunDecoder(context, entry, method);
  if (result != 0 && !context->failed() && !context->archive->failed()) {
    context->report.warning(result, context->nameBuffer);
    return false;
  }
  return true;
}

// A read or write that failed under the decoder stops the run here. The file being written
// would look whole but for its missing end, and no CRC check will tell: it goes, as after a
// full disk. (PRINT appends to a device or file that is not the entry's own: it stays.)
bool StoppedByFailure(ExtractionContext* context) {
  if (context->archive->failed()) context->fail(context->archive->status());
  if (!context->failed()) return false;
  // A file being replaced stays as it was; only the file of ours goes.
  if ((context->output || context->replacement.active()) &&
      context->options.command == kCommandExtract) {
    context->discardOutput();
  }
  return true;
}

// The extracted file's times (from the NTFS field when there was one) and attributes. A
// replacement gets its attributes once it is in place.
void CloseOutput(ExtractionContext* context, const CentralHeader* entry, const NtfsTimes* times) {
  const RunOptions& options = context->options;
  const bool extracting = options.command == kCommandExtract;
  Replacement& replacement = context->replacement;
  const char* written = replacement.active() ? replacement.temporary() : context->outputName;
  uint32_t lastWrite = entry->dosDateTime;
  if (extracting && !(entry->externalAttributes & kAttrVolumeLabel)) {
    // Before the times: writing a stream counts as a change of the file.
    const Text& mark = context->archive->zoneMark;
    if (!mark.empty()) writeNamedStream(written, kZoneIdentifierStream, mark);
    setFileTimes(context->output ? context->output->handle() : kInvalidHandle, written,
                 nullptr, nullptr, &lastWrite, times ? times->times : nullptr,
                 static_cast<unsigned>(options.Times));
  }
  context->destroyOutput();
  if (!extracting) return;
  if (replacement.active()) {
    replacement.finishWith(FileAttributes(options, *entry), lastWrite, times,
                           static_cast<unsigned>(options.Times));
  } else {
    setAttributes(context->outputName, FileAttributes(options, *entry));
  }
}

// How the AES authentication code compared with the enciphered data.
enum class Authentication { kNotAes, kMatched, kFailed };

// Reads what the decoder left of the enciphered data (the code covers every byte of it) and
// the stored code after it.
Authentication CheckAuthentication(ExtractionContext* context) {
  if (!context->aesDecrypting) return Authentication::kNotAes;
  while (context->remainingInput > 0) {
    if (ReadEntryData(context, context->input, context->inputSize) == 0) break;
  }
  if (context->failed() || context->archive->failed() || context->remainingInput > 0) {
    return Authentication::kFailed;
  }
  uint8_t stored[kAesAuthCodeSize];
  uint8_t computed[kAesAuthCodeSize];
  if (!context->archive->readArchiveExact(stored, kAesAuthCodeSize)) return Authentication::kFailed;
  if (!context->aesStream.finish(computed)) return Authentication::kFailed;
  return std::memcmp(stored, computed, kAesAuthCodeSize) == 0 ? Authentication::kMatched
                                                              : Authentication::kFailed;
}

// Whether the entry's data may stand: the one place where its checks are made. decoded: the
// decoder went through (an entry it gave up on has had its warning); authentication: what an
// AES entry's code said (a failure has had its warning).
EntryOutcome JudgeEntry(ExtractionContext* context, const CentralHeader* entry, bool decoded,
                        Authentication authentication) {
  const uint32_t computed = ~context->crc;
  context->computedCrc = computed;
  // Altered or damaged on the way: nothing of it can be vouched for, CRC or not.
  if (!decoded || authentication == Authentication::kFailed) {
    context->crcCheck = CrcCheck::kUndecodable;
    return EntryOutcome::kUndecodable;
  }
  // AE-2 stores no CRC (0), so that it tells nothing of the data: the code has checked it.
  if (authentication == Authentication::kMatched && context->aes.version == 2) {
    context->crcCheck = CrcCheck::kMatched;
    return EntryOutcome::kSound;
  }
  context->crcCheck = computed == entry->crc32 ? CrcCheck::kMatched : CrcCheck::kMismatched;
  return context->crcCheck == CrcCheck::kMatched ? EntryOutcome::kSound : EntryOutcome::kDamaged;
}

// A damaged entry never takes the place of the file that was there: the file of ours goes and
// the user hears that the existing file was kept. A sound one is put in place now, or left
// pending for a run that does so itself in entry order; true when it is (or will be) in place.
bool SettleReplacement(ExtractionContext* context, EntryOutcome outcome) {
  Replacement& replacement = context->replacement;
  if (!replacement.active()) return true;
  if (outcome != EntryOutcome::kSound) {
    replacement.drop();
    context->report.warning(kWarnDamagedKept, context->nameBuffer);
    return false;
  }
  if (context->holdReplacement) return true;
  if (!replacement.commit()) {
    context->report.warning(kWarnCannotCreate, context->outputName);
    return false;
  }
  return true;
}

void ReportOutcome(ExtractionContext* context, EntryOutcome outcome, bool kept) {
  if (outcome == EntryOutcome::kDamaged && !kept) {
    context->report.warning(kWarnCrcFailed, context->nameBuffer);
  }
  if (outcome != EntryOutcome::kSound || kept) return;
  if (context->options.command == kCommandTest) {
    context->report.tested();
  } else {
    context->report.extracted(context->bytesOut);
  }
  ++context->processedCount;
}

}  // namespace

const char* MethodLabel(unsigned method) {
  if (method == kMethodLzma) return "LZMA Decoding";
  return kMethodLabels[method > 11 ? 11 : method];
}

unsigned DataMethod(const ExtractionContext* context, const CentralHeader* entry) {
  return context->aes.version != 0 ? context->aes.method : entry->method;
}

// The methods Decode dispatches on.
bool DecodableMethod(unsigned method) {
  return method == 0 || method == 8 || method == 9 || method == kMethodLzma;
}

AfterEntry PrepareEntry(ExtractionContext* context, const CentralHeader* entry,
                        std::unique_ptr<NtfsTimes>* times, bool* toDecode) {
  *toDecode = false;
  if (!entry) return AfterEntry::kNextEntry;
  const bool nameFits = BeginEntry(context, entry);
  if (Refused(context, entry, nameFits)) return AfterEntry::kNextEntry;

  Stage stage = PrepareInput(context, entry, times);
  if (stage == Stage::kGoOn) stage = PrepareOutput(context, entry);
  if (stage != Stage::kGoOn) return Ending(stage);
  *toDecode = true;
  return AfterEntry::kNextEntry;
}

AfterEntry FinishEntry(ExtractionContext* context, const CentralHeader* entry,
                       const NtfsTimes* times) {
  // An AES entry's stream is made on the thread that decodes it, from the keys it was given.
  bool ready = true;
  if (context->aesDecrypting && !context->aesStream.start(context->aesKeys)) {
    context->report.warning(kWarnCryptoUnavailable, context->nameBuffer);
    ready = false;
  }
  const bool decoded = ready && Decode(context, entry);
  // Also after the decoder gave up: altered data most often shows first as a decoding fault,
  // and the code then says what it is.
  const Authentication authentication =
      ready ? CheckAuthentication(context) : Authentication::kNotAes;
  if (StoppedByFailure(context)) return AfterEntry::kStopRun;
  CloseOutput(context, entry, times);
  if (authentication == Authentication::kFailed) {
    context->report.warning(kWarnAuthenticationFailed, context->nameBuffer);
  }
  const EntryOutcome outcome = JudgeEntry(context, entry, decoded, authentication);
  const bool wasReplacing = context->replacement.active();
  const bool placed = SettleReplacement(context, outcome);
  // A damaged entry whose existing file was kept has said so; one that replaced nothing keeps
  // the file written, with the CRC warning. A replacement the system refused has said so too.
  ReportOutcome(context, outcome, wasReplacing && !placed);
  return AfterEntry::kNextEntry;
}

AfterEntry ExtractEntry(ExtractionContext* context, const CentralHeader* entry) {
  std::unique_ptr<NtfsTimes> times;  // read with the local header, set on the file at its end
  bool toDecode = false;
  const AfterEntry after = PrepareEntry(context, entry, &times, &toDecode);
  if (!toDecode) return after;
  return FinishEntry(context, entry, times.get());
}

uint32_t ReadEntryData(ExtractionContext* context, uint8_t* buffer, uint32_t wanted) {
  if (context->failed()) return 0;
  if (context->cancel && context->cancel->load(std::memory_order_relaxed)) {
    return context->fail(Status::Exit(kExitCancelled)), 0;
  }
  uint32_t n = wanted;
  if (n > context->remainingInput) {
    if (context->remainingInput == 0) return 0;
    n = static_cast<uint32_t>(context->remainingInput);
  }
  uint32_t got = 0;
  if (n > 0) {
    got = context->archive->readArchive(buffer, n);
    context->remainingInput -= got;
  }
  if (context->decrypting) context->keys.decrypt(buffer, got);
  if (context->aesDecrypting) context->aesStream.decrypt(buffer, got);
  return got;
}

uint32_t WriteOutput(ExtractionContext* context, const uint8_t* bytes, uint32_t count) {
  if (context->failed()) return 0;
  uint32_t n = count;
  if (context->bytesOut + static_cast<uint64_t>(n) > context->expectedSize) {
    n = static_cast<uint32_t>(context->expectedSize - context->bytesOut);
  }
  if (context->output) {
    uint32_t written = 0;
    if (context->output->write(bytes, n, &written) != 0 || written < n) {
      context->discardOutput();
      return context->fail(Status::Fatal(kFatalDiskFull, context->outputName)), 0;
    }
  } else if (context->options.command == kCommandConsole && context->consoleSink) {
    context->consoleSink(bytes, n);
  }
  context->bytesOut += n;
  context->crc = Crc32Update(context->crc, bytes, n);
  // A large file shows how far it has got while it is written, each time another mebibyte is
  // out: the front end draws the latest at its own pace.
  if (context->output && ((context->bytesOut - n) >> 20) != (context->bytesOut >> 20)) {
    context->report.writing(context->bytesOut);
  }
  return n;
}

void CopyStored(ExtractionContext* context) {
  if (context->expectedSize != context->remainingInput) {
    context->report.warning(kWarnUnexpectedSize, "");
    uint64_t smaller = context->expectedSize < context->remainingInput ? context->expectedSize
                                                                      : context->remainingInput;
    context->expectedSize = context->remainingInput = smaller;
  }
  // Stored data moves through the input buffer, the largest: few reads, few writes.
  uint64_t left = context->expectedSize;
  while (left > 0) {
    const uint32_t piece = left < context->inputSize ? static_cast<uint32_t>(left) : context->inputSize;
    uint32_t n = ReadEntryData(context, context->input, piece);
    if (n == 0 || context->failed()) break;
    WriteOutput(context, context->input, n);
    left -= n;
  }
}

std::unique_ptr<NtfsTimes> ReadNtfsTimes(Reporter& report, const uint8_t* extra, uint32_t length) {
  // Only an NTFS field that opens the local extra data is used.
  if (!extra || length < 4 || le16(extra) != kNtfsExtraId) return nullptr;
  uint16_t size = le16(extra + 2);
  // The field's own length comes from the archive: it must lie inside the extra data.
  if (size == 0 || 4u + size > length) return nullptr;

  std::unique_ptr<NtfsTimes> times(new (std::nothrow) NtfsTimes());
  if (!times) {
    report.warning(kWarnNoMemoryForTimes, "");
    return nullptr;
  }
  bool found = false;
  ByteReader data(extra + 4, size);
  data.skip(4);  // reserved
  while (data.remaining() >= 4) {
    uint16_t tag = data.u16();
    uint16_t attributeSize = data.u16();
    ByteReader attribute = data.sub(attributeSize);
    if (attribute.failed()) break;
    if (tag == kNtfsTimesTag && attributeSize == kNtfsTimesSize) {
      const int order[3] = {kNtfsLastWrite, kNtfsLastAccess, kNtfsCreation};
      for (int which : order) {
        uint64_t value = attribute.u64();
        times->times[which].low = static_cast<uint32_t>(value);
        times->times[which].high = static_cast<uint32_t>(value >> 32);
      }
      found = true;
    }
  }
  if (!found) return nullptr;
  return times;
}
