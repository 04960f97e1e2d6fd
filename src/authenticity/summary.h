// The authenticity data gathered over the protected entries of the directory.
#pragma once

#include <cstdint>

class Reporter;
struct CentralHeader;

struct AuthenticitySummary {
  uint32_t total = 0;              // sum over the protected entries, modulo 2^32
  int recordCount = 0;             // extra fields with header ID 0x0007 in the directory
  int marked = 0;                  // 1 once a protected entry was seen
  int undecodable = 0;             // 1 once a run could not decode a protected entry's data
  const uint8_t* record = nullptr;  // the last authenticity record (its 4-byte field header)
  uint16_t recordLength = 0;       // bytes after its field header that lie inside its extra field
};

// Called for every central header of the loaded directory, in load order.
void AuthenticityDirectoryHook(AuthenticitySummary* summary, const CentralHeader* entry);
// The summary of a whole loaded directory.
AuthenticitySummary GatherAuthenticitySummary(const CentralHeader* entries, uint32_t count);
// Called when an entry's data does not match its stored CRC: the total then stands for the data
// actually found.
void AuthenticityCrcMismatch(AuthenticitySummary* summary, const CentralHeader* entry,
                             uint32_t computedCrc);
// Called when the decoder gave up on an entry's data: a protected entry that cannot be read
// back cannot be vouched for, though its stored CRC still stands in the total.
void AuthenticityUndecodable(AuthenticitySummary* summary, const CentralHeader* entry);
// Called after a CRC match; marks a protected entry in the progress display.
void AuthenticityVerifiedEntry(AuthenticitySummary* summary, const CentralHeader* entry,
                               Reporter& report);
