// Authenticity records for crafted archives, sealed from the record format's description with
// the test-only encrypter, apart from the engine's own opening and sealing. Test-only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "traditional_encrypter.h"
#include "zip_writer.h"

// Internal-attribute bit 1: the entry is protected.
constexpr uint16_t kTestProtectedBit = 0x0002;

// An authenticity record to be sealed: its maker, texts and the faults it is to carry.
struct AuthenticityRecordPlan {
  uint32_t number = 0;
  std::string name;
  std::string text;          // written after the name's NUL when not empty
  bool nameTerminated = true;  // false: the name runs to the end of the data, no NUL
  bool checksumWrong = false;  // a checksum that does not match the number and name
};

// The total the stub sums over the protected entries of entries as they will be written.
uint32_t ProtectedTotal(const std::vector<ZipEntryPlan>& entries);
// The record's data, masked and enciphered for total (no field header).
std::string SealedRecordData(uint32_t total, const AuthenticityRecordPlan& record);
// The whole extra field: ID 0x0007, the data size, the data.
std::string RecordField(uint32_t total, const AuthenticityRecordPlan& record);
