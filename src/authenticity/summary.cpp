// The authenticity data gathered while the directory loads and adjusted while entries are read.
#include "authenticity/summary.h"

#include "authenticity/record.h"
#include "report/report.h"
#include "zip/records.h"

namespace {

bool IsProtected(const CentralHeader* entry) {
  return (entry->internalAttributes & kProtectedMask) != 0;
}

}  // namespace

void AuthenticityDirectoryHook(AuthenticitySummary* summary, const CentralHeader* entry) {
  // Only entries made on an MS-DOS-compatible host take part.
  if (!IsProtected(entry) || entry->versionMadeBy >= kFirstForeignHost) return;
  summary->total += entry->crc32 + ((entry->internalAttributes & kAttributesCarryData)
                                        ? entry->externalAttributes
                                        : entry->dosDateTime);
  summary->marked = 1;

  // The extra field's lengths come from the archive: never step past the field.
  ByteReader fields(entry->extra, entry->extraLength);
  while (fields.remaining() >= kRecordFieldHeaderSize) {
    const uint8_t* field = fields.current();
    uint16_t id = fields.u16();
    uint16_t size = fields.u16();
    uint16_t inside = size <= fields.remaining() ? size : static_cast<uint16_t>(fields.remaining());
    if (id == kAuthenticityRecordId) {
      ++summary->recordCount;
      summary->record = field;
      summary->recordLength = inside;
    }
    fields.skip(inside);
  }
}

void AuthenticityCrcMismatch(AuthenticitySummary* summary, const CentralHeader* entry,
                             uint32_t computedCrc) {
  if (IsProtected(entry)) summary->total += computedCrc - entry->crc32;
}

void AuthenticityUndecodable(AuthenticitySummary* summary, const CentralHeader* entry) {
  if (IsProtected(entry)) summary->undecodable = 1;
}

void AuthenticityVerifiedEntry(AuthenticitySummary*, const CentralHeader* entry,
                               Reporter& report) {
  if (IsProtected(entry)) report.authentic();
}

AuthenticitySummary GatherAuthenticitySummary(const CentralHeader* entries, uint32_t count) {
  AuthenticitySummary summary;
  for (uint32_t i = 0; i < count; ++i) AuthenticityDirectoryHook(&summary, &entries[i]);
  return summary;
}
