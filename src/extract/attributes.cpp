#include "extract/attributes.h"

#include "fs/fs.h"
#include "zip/records.h"

namespace {

// Attribute bits 0 to 2 and 16 to 31 can be dropped by the mask; bits 3 to 15 always stay.
constexpr uint32_t kAlwaysKept = 0x0000FFF8;
// Internal attribute bit 2: the external attributes carry more than the DOS byte.
constexpr uint16_t kAttributesCarryData = 0x0004;

uint32_t Masked(const RunOptions& options, uint32_t attributes) {
  return attributes & (~options.attributeDropMask | kAlwaysKept);
}

// Hosts whose external attributes hold DOS attributes in their low byte: MS-DOS, Unix (the
// archivers there fill the low byte too), HPFS and NTFS.
bool KeepsDosAttributes(const CentralHeader& entry) {
  switch (entry.versionMadeBy >> 8) {
    case 0:
    case 3:
    case 6:
    case 10:
      return true;
    default:
      return false;
  }
}

}  // namespace

uint32_t FileAttributes(const RunOptions& options, const CentralHeader& entry) {
  uint32_t attributes = entry.externalAttributes;
  if (entry.internalAttributes & kAttributesCarryData) attributes &= 0xFF;
  return Masked(options, attributes);
}

uint32_t CreationAttributes(const RunOptions& options, const CentralHeader& entry) {
  if (!KeepsDosAttributes(entry)) return kAttrArchive;
  return FileAttributes(options, entry);
}

uint32_t DirectoryAttributes(const RunOptions& options, const CentralHeader& entry) {
  return Masked(options, entry.externalAttributes);
}
