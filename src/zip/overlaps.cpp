#include "zip/overlaps.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>

#include "fs/format.h"
#include "fs/text.h"
#include "report/messages.h"
#include "zip/archive_state.h"
#include "zip/byte_reader.h"

namespace {

// The bytes an entry owns: its local header, name, extra field and compressed data. The data
// descriptor that may follow is left out: peers write it in more than one size.
struct Span {
  uint64_t start;
  uint64_t end;
  const CentralHeader* entry;
};

// The local header's compressed size; a saturated one from the local ZIP64 extra field, read
// after the name. The stream stands after the fixed part.
uint64_t LocalCompressedSize(ArchiveState& archive, const uint8_t* fixed) {
  uint64_t size = le32(fixed + kLocalCompressedSize);
  const uint16_t extraLength = le16(fixed + kLocalExtraLength);
  if (size != kSaturated32 || extraLength == 0) return size;
  uint8_t extra[0xFFFF];
  archive.stream->seek(le16(fixed + kLocalNameLength), kSeekCurrent);
  const uint32_t got = archive.readArchive(extra, extraLength);
  uint64_t uncompressed = le32(fixed + kLocalUncompressedSize);
  ApplyZip64Extra(extra, got, &uncompressed, &size, nullptr, nullptr);
  return size;
}

Text EntryName(const CentralHeader* entry) { return Text(entry->name, entry->nameLength); }

Status Overlap(const char* format, const Text& first, const char* second) {
  char detail[600];
  FormatText(detail, sizeof detail, format, first.c_str(), second);
  return Status::ArchiveError(kArchiveReadError, detail);
}

}  // namespace

Status CheckEntryOverlaps(ArchiveState& archive) {
  const EndRecord* end = archive.endRecord();
  const uint32_t count = archive.entryCount;
  if (!end || count == 0 || archive.spanned || archive.failed()) return archive.status();

  std::unique_ptr<Span[]> spans(new (std::nothrow) Span[count]);
  if (!spans) return Status::Fatal(kFatalNoMemoryForDirectory);
  const CentralHeader* entries = archive.entries();
  uint32_t spanCount = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const CentralHeader& entry = entries[i];
    uint8_t fixed[kLocalHeaderSize];
    archive.stream->seek(static_cast<int64_t>(entry.localHeaderOffset), kSeekStart);
    uint64_t header = kLocalHeaderSize;
    uint64_t data = entry.compressedSize;
    if (archive.readArchive(fixed, sizeof fixed) == sizeof fixed &&
        le32(fixed) == kLocalHeaderSignature) {
      header += le16(fixed + kLocalNameLength) + static_cast<uint64_t>(le16(fixed + kLocalExtraLength));
      // Of two sizes that disagree, the data owns the bytes of the smaller: peers read such
      // archives, and the decoder stops at the end of its stream. (Behind a data descriptor
      // the local size is not known yet.)
      const uint64_t local = LocalCompressedSize(archive, fixed);
      if (!(le16(fixed + kLocalFlags) & kFlagDataDescriptor) && local < data) data = local;
    }
    if (archive.failed()) return archive.status();
    const uint64_t start = entry.localHeaderOffset;
    // A header that is not there, or data that runs past the end of the file, is the
    // extraction's to report (messages 153 and 154), entry by entry.
    if (start + header + data > archive.archiveSize) continue;
    spans[spanCount++] = Span{start, start + header + data, &entry};
  }

  std::sort(spans.get(), spans.get() + spanCount,
            [](const Span& a, const Span& b) { return a.start < b.start; });
  const uint64_t directoryStart = archive.directoryOffset();
  const uint64_t directoryEnd = directoryStart + archive.directorySize();
  for (uint32_t i = 0; i < spanCount; ++i) {
    const Span& span = spans[i];
    if (i + 1 < spanCount && span.end > spans[i + 1].start) {
      return Overlap("dados de %s sobrepostos aos de %s", EntryName(span.entry),
                     EntryName(spans[i + 1].entry).c_str());
    }
    if (span.start < directoryEnd && span.end > directoryStart) {
      return Overlap("dados de %s sobrepostos ao diretório central", EntryName(span.entry), "");
    }
  }
  return Status();
}
