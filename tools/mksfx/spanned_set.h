// Writing a self-extracting archive as a spanned set for removable disks: one folder per disk
// (disk1/NAME.exe ... diskN/NAME.exe beside the NAME.exe asked for), each file at most the
// disk size. The first disk starts with the stub, whose DOS header carries the spanning marker
// in its reserved words when more disks follow; the last holds the end record. Every record says on which disk it lies
// and counts its offset from the start of that disk's file; each disk must carry the volume
// label made for it, which the builder also writes into a LABEL.TXT beside the disk's file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Where the spanning marker goes in the stub: the reserved words of the DOS header, which
// Windows ignores.
constexpr uint64_t kStubMarkerOffset = 32;
// A volume label has room for eleven characters: eight before the disk number, three digits.
constexpr int kMaxSpannedDisks = 999;

struct SpanRequest {
  std::string output;  // DIR/NAME.exe
  std::string stub;
  std::string archive;
  uint64_t diskSize = 0;  // bytes each disk's file may hold at most
};

struct SpannedDisk {
  std::string path;   // DIR/diskK/NAME.exe
  std::string label;  // the volume label the disk must carry
  uint64_t size = 0;
};

// "1440k", "1.44m" or plain bytes: k is 1024 bytes, m is 1000k (so that 1.44m is 1440k, a
// 3.5-inch floppy disk). False with the reason for anything else, and for 0 or more than a
// 32-bit file can hold.
bool ParseDiskSize(const std::string& text, uint64_t* size, std::string* error);

// The volume label of disk number (1-based): the reader takes the number from its ninth
// character on.
std::string DiskLabel(int number);

// Checks everything and plans every disk first; writes only then, each file under a temporary
// name renamed into place when complete. A failure while writing removes the disks written.
bool BuildSpannedSfx(const SpanRequest& request, std::vector<SpannedDisk>* disks,
                     std::string* error);
