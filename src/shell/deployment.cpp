#include "shell/deployment.h"

#include "extract/crc32.h"
#include "shell/directive_record.h"
#include "zip/byte_reader.h"

uint16_t FindDeployFlags(FileStream& stream) {
  uint8_t record[kDeployRecordSize];
  for (uint32_t block = 0; block < kDirectiveSearchBlocks; ++block) {
    uint32_t got = 0;
    if (stream.read(record, kDirectiveAlignmentBytes, &got) != 0 || got < kDirectiveAlignmentBytes) {
      return 0;
    }
    if (le32(record) != kDeployRecordSignatureLow || le32(record + 4) != kDeployRecordSignatureHigh) {
      continue;
    }
    uint32_t next = stream.position();
    uint32_t rest = kDeployRecordSize - kDirectiveAlignmentBytes;
    if (stream.read(record + kDirectiveAlignmentBytes, rest, &got) == 0 && got == rest) {
      uint16_t flags = le16(record + kDeployRecordFlags);
      uint32_t crc = Crc32Update(0, record + kDeployRecordCrcFrom, kDeployRecordCrc - kDeployRecordCrcFrom);
      if (le16(record + kDeployRecordVersion) <= kDeployRecordVersionValue &&
          le32(record + kDeployRecordReserved) == 0 && (flags & ~kDeployKnownFlags) == 0 &&
          crc == le32(record + kDeployRecordCrc)) {
        return flags;
      }
    }
    if (stream.seek(static_cast<int32_t>(next), kSeekStart) != next) return 0;
  }
  return 0;
}

uint16_t ReadDeployFlags(const char* path) {
  FileStream stream(path, kGenericRead, kShareRead, kOpenExisting, 0);
  uint16_t flags = stream.isOpen() ? FindDeployFlags(stream) : 0;
  stream.close();
  return flags;
}
