// The per-entry work of a run: version check, local header, password, output, decoding, times,
// attributes, CRC check and progress.
#include <cstring>
#include <new>

#include "extract/context.h"
#include "extract/crc32.h"
#include "extract/decrypt.h"
#include "extract/output.h"
#include "extract/attributes.h"
#include "fs/format.h"
#include "inflate/inflate.h"
#include "zip/archive_state.h"

namespace {

// Entries that need a later version of the format than this program reads are refused.
constexpr uint16_t kMaxVersionNeeded = 25;
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
    WriteOutput(context_, bytes, count);
  }

 private:
  ExtractionContext* context_;
};

void FreeNtfsTimes(ExtractionContext* context) {
  delete context->ntfsTimes;
  context->ntfsTimes = nullptr;
}

}  // namespace

const char* MethodLabel(unsigned method) { return kMethodLabels[method > 11 ? 11 : method]; }

int ExtractEntry(ExtractionContext* context, const CentralHeader* entry) {
  if (!entry) return 0;
  context->entry = entry;
  context->crcCheck = CrcCheck::kNotChecked;
  const RunOptions& options = context->options;
  const int command = options.command;
  const bool nameFits =
      copyEntryName(context->nameBuffer, sizeof context->nameBuffer, entry->name, entry->nameLength);
  context->outputName = context->nameBuffer;
  size_t nameLength = std::strlen(context->nameBuffer);
  context->isDirectory = nameLength > 0 && context->nameBuffer[nameLength - 1] == '/';
  context->decrypting = 0;
  context->abortRequested = 0;
  context->destroyOutput();
  FreeNtfsTimes(context);

  // A name cut to fit a path would put the entry's data into some other file.
  if (!nameFits && command == kCommandExtract) {
    Text whole(entry->name, entry->nameLength);
    context->report.warning(kWarnCannotCreate, whole.c_str());
    return 0;
  }

  // The upper byte of the field names the host system of the maker, not a version: many
  // archivers set it, and every reader compares the lower byte alone.
  const unsigned version = entry->versionNeeded & 0xFFu;
  if (version > kMaxVersionNeeded) {
    char detail[kPathSize + 64];
    FormatText(detail, sizeof detail, "%d.%d para extrair: %s", version / 10, version % 10,
               context->outputName);
    context->report.warning(kWarnNeedsVersion, detail);
    return 0;
  }

  // seekEntryData asks for the disk the entry starts on.
  ArchiveState* archive = context->archive;
  archive->seekEntryData(*entry);
  if (archive->failed()) return context->fail(archive->status()), 1;

  context->bytesOut = 0;
  if (options.useNtfsTimes) {
    context->ntfsTimes =
        ReadNtfsTimes(context->report, archive->localExtra(), archive->localExtraLength());
  }

  if (entry->flags & kFlagEncrypted) {
    int skipped = CheckPassword(context, entry);
    if (archive->failed()) {
      FreeNtfsTimes(context);
      return context->fail(archive->status()), 1;
    }
    if (skipped != 0) {
      FreeNtfsTimes(context);
      return 0;
    }
    context->decrypting = 1;
    context->remainingInput = entry->compressedSize - kEncryptionHeaderSize;
  } else {
    context->remainingInput = entry->compressedSize;
  }

  if (!OpenOutput(context, entry, context->ntfsTimes)) {
    FreeNtfsTimes(context);
    return context->failed() ? 1 : context->abortRequested;
  }

  if (command == kCommandTest) {
    context->report.testing();
  } else {
    context->report.action(MethodLabel(entry->method));
  }
  context->report.item(context->outputName);

  if (context->isDirectory) {
    ++context->processedCount;
    if (command == kCommandExtract) {
      FreeNtfsTimes(context);
      return 0;
    }
  }

  context->crc = 0xFFFFFFFFu;
  context->bytesOut = 0;
  context->expectedSize = entry->uncompressedSize;
  bool failed = false;
  switch (entry->method) {
    case 0:
      CopyStored(context);
      break;
    case 8:
    case 9: {
      ContextIo io(context);
      InflateBuffers buffers{context->input, context->inputSize, context->window, context->work};
      int result = Inflate(buffers, io, entry->method == 9);
      if (result != 0 && !context->failed() && !archive->failed()) {
        context->report.warning(result, context->nameBuffer);
        failed = true;
      }
      break;
    }
    default:
      context->report.warning(kWarnUnknownMethod, context->nameBuffer);
      failed = true;
      break;
  }
  // A read or write that failed under the decoder stops the run here. The file being written
  // would look whole but for its missing end, and no CRC check will tell: it goes, as after a
  // full disk. (PRINT appends to a device or file that is not the entry's own: it stays.)
  if (archive->failed()) context->fail(archive->status());
  if (context->failed()) {
    if (context->output && command == kCommandExtract) {
      context->destroyOutput();
      deleteFile(context->outputName);
    }
    FreeNtfsTimes(context);
    return 1;
  }

  if (command == kCommandExtract && !(entry->externalAttributes & kAttrVolumeLabel)) {
    uint32_t lastWrite = entry->dosDateTime;
    setFileTimes(context->output ? context->output->handle() : kInvalidHandle, context->outputName,
                 nullptr, nullptr, &lastWrite,
                 context->ntfsTimes ? context->ntfsTimes->times : nullptr,
                 static_cast<unsigned>(options.Times));
  }
  context->destroyOutput();
  FreeNtfsTimes(context);

  if (command == kCommandExtract) setAttributes(context->outputName, FileAttributes(options, *entry));

  if (failed) {
    context->crcCheck = CrcCheck::kUndecodable;
    return 0;
  }

  uint32_t computed = ~context->crc;
  context->computedCrc = computed;
  if (computed != entry->crc32) {
    context->crcCheck = CrcCheck::kMismatched;
    context->report.warning(kWarnCrcFailed, context->nameBuffer);
  } else {
    context->crcCheck = CrcCheck::kMatched;
    if (command == kCommandTest) {
      context->report.tested();
    } else {
      context->report.extracted();
    }
    ++context->processedCount;
  }
  return 0;
}

uint32_t ReadEntryData(ExtractionContext* context, uint8_t* buffer, uint32_t wanted) {
  if (context->failed()) return 0;
  uint32_t n = wanted;
  if (n > context->remainingInput) {
    if (context->remainingInput == 0) return 0;
    n = context->remainingInput;
  }
  uint32_t got = 0;
  if (n > 0) {
    got = context->archive->readArchive(buffer, n);
    context->remainingInput -= got;
  }
  if (context->decrypting) context->keys.decrypt(buffer, got);
  return got;
}

uint32_t WriteOutput(ExtractionContext* context, const uint8_t* bytes, uint32_t count) {
  if (context->failed()) return 0;
  uint32_t n = count;
  if (context->bytesOut + static_cast<uint64_t>(n) > context->expectedSize) {
    n = context->expectedSize - context->bytesOut;
  }
  if (context->output) {
    uint32_t written = 0;
    if (context->output->write(bytes, n, &written) != 0 || written < n) {
      context->destroyOutput();
      deleteFile(context->outputName);
      return context->fail(Status::Fatal(kFatalDiskFull, context->outputName)), 0;
    }
  } else if (context->options.command == kCommandConsole && context->consoleSink) {
    context->consoleSink(bytes, n);
  }
  context->bytesOut += n;
  context->crc = Crc32Update(context->crc, bytes, n);
  return n;
}

int CopyStored(ExtractionContext* context) {
  if (context->expectedSize != context->remainingInput) {
    context->report.warning(kWarnUnexpectedSize, "");
    uint32_t smaller = context->expectedSize < context->remainingInput ? context->expectedSize
                                                                      : context->remainingInput;
    context->expectedSize = context->remainingInput = smaller;
  }
  // Stored data moves through the input buffer, the largest: few reads, few writes.
  uint32_t left = context->expectedSize;
  while (left > 0) {
    const uint32_t piece = left < context->inputSize ? left : context->inputSize;
    uint32_t n = ReadEntryData(context, context->input, piece);
    if (n == 0 || context->failed()) break;
    WriteOutput(context, context->input, n);
    left -= n;
  }
  return 0;
}

NtfsTimes* ReadNtfsTimes(Reporter& report, const uint8_t* extra, uint32_t length) {
  // Only an NTFS field that opens the local extra data is used.
  if (!extra || length < 4 || le16(extra) != kNtfsExtraId) return nullptr;
  uint16_t size = le16(extra + 2);
  // The field's own length comes from the archive: it must lie inside the extra data.
  if (size == 0 || 4u + size > length) return nullptr;

  NtfsTimes* times = new (std::nothrow) NtfsTimes();
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
  if (!found) {
    delete times;
    return nullptr;
  }
  return times;
}
